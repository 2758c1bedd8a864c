#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/texture.h"
#include "platform/headless.h"
#include "shell/memory.h"
#include "test_support.h"
#include "tests/model_files.h"

namespace {

typedef std::string Bytes;

Bytes bytes(size_t n, uint8_t value) { return Bytes(n, static_cast<char>(value)); }

// A bottom-up BI_RGB file: headers, palette (4 bytes an entry), then the
// pixel rows exactly as given (bottom row first).
Bytes bmp_file(int32_t width, int32_t height, int bits, uint32_t colours_used, const Bytes& palette,
               const Bytes& rows) {
    Bytes b = "BM";
    const uint32_t offset = 54 + static_cast<uint32_t>(palette.size());
    const uint32_t row_bytes = static_cast<uint32_t>(rows.size());
    for (uint32_t v : {offset + row_bytes, 0u, offset, 40u, static_cast<uint32_t>(width),
                       static_cast<uint32_t>(height)}) {
        put32(&b, static_cast<int32_t>(v));
    }
    put16(&b, 1);
    put16(&b, bits);
    for (uint32_t v : {0u, row_bytes, 2835u, 2835u, colours_used, 0u}) {
        put32(&b, static_cast<int32_t>(v));
    }
    return b + palette + rows;
}

uint16_t rgb555(uint32_t red, uint32_t green, uint32_t blue) {
    return static_cast<uint16_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}

std::vector<uint16_t> texels_of(int32_t slot) {
    int32_t count = 1 << (tex_width_shift(slot) + tex_height_shift(slot));
    return std::vector<uint16_t>(tex_pixels(slot), tex_pixels(slot) + count);
}

// Texture files are written to and loaded from the test output directory, so
// that their names stay within the 27 characters a texture name may have.
class TextureTest : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        ASSERT_EQ(tex_init(), 0);
    }
    void TearDown() override {
        tex_release();
        FileTest::TearDown();
    }
    static void write(const std::string& name, const Bytes& b) { write_text_file(name, b); }
    // Expects the load to be refused with -1 and the parse message, every slot
    // left empty.
    static void expect_refused(const std::string& name) {
        headless_clear_messages();
        EXPECT_EQ(tex_load(name.c_str()), -1) << name;
        EXPECT_EQ(shown_messages(),
                  std::vector<std::string>{message_with(MSG_FILE_PARSE_FAILED, name)})
            << name;
        for (int32_t slot = 0; slot < TEX_SLOTS; slot++) EXPECT_EQ(tex_get(slot), nullptr);
    }
};

TEST_F(TextureTest, FourBitHighNibbleFirst) {
    Bytes palette;
    for (uint32_t i = 0; i < 16; i++) {
        palette += {static_cast<char>(i * 16), 0, static_cast<char>(255 - i * 16), 0};
    }
    const Bytes rows = "\x89\xAB\xCD\xEF"   // bottom row
                       "\x1F\x23\x45\x67";  // top row
    write("t4.bmp", bmp_file(8, 2, 4, 0, palette, rows));
    int32_t slot = tex_load("t4.bmp");
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(tex_width_shift(slot), 3);
    EXPECT_EQ(tex_height_shift(slot), 1);
    std::vector<uint16_t> expected;
    for (int i : {1, 15, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}) {
        expected.push_back(rgb555((255 - i * 16) & 0xF8, 0, i * 16));
    }
    EXPECT_EQ(texels_of(slot), expected);
}

TEST_F(TextureTest, PaletteConversion) {
    // An index past a shorter palette is black even after a file whose
    // palette filled the whole table.
    write("white.bmp", bmp_file(4, 2, 8, 0, bytes(1024, 0xFF), bytes(8, 200)));
    int32_t white = tex_load("white.bmp");
    ASSERT_EQ(white, 0);
    EXPECT_EQ(texels_of(white), std::vector<uint16_t>(8, 0x7FFF));
    const Bytes palette("\xFF\x80\x08\0\0\0\xFF\0", 8);
    write("short.bmp", bmp_file(4, 2, 8, 2, palette, Bytes("\0\1\2\xC8\xFF\1\0\3", 8)));
    int32_t slot = tex_load("short.bmp");
    ASSERT_EQ(slot, 1);
    EXPECT_EQ(texels_of(slot), (std::vector<uint16_t>{0, 0x7C00, 0x061F, 0, 0x061F, 0x7C00, 0, 0}));
}

TEST_F(TextureTest, DirectColoursAndOtherBitCounts) {
    Bytes rows16;
    for (uint32_t v : {0x1234u, 0x7FFFu, 0x0001u, 0x8000u}) put16(&rows16, v);
    const Bytes rows32("\xFF\x80\x08\0\7\x08\xFF\0"     // bottom row
                       "\0\0\0\0\xFF\xFF\xFF\xAA", 16);
    // Other bit counts read nothing of the pixels: black, and the headers suffice.
    const struct {
        const char* name;
        Bytes file;
        std::vector<uint16_t> texels;
    } cases[] = {
        {"t16.bmp", bmp_file(2, 2, 16, 0, {}, rows16), {0x0001, 0x8000, 0x1234, 0x7FFF}},
        {"t32.bmp", bmp_file(2, 2, 32, 0, {}, rows32), {0x0000, 0x7FFF, 0x061F, 0x7C20}},
        {"t24.bmp", bmp_file(4, 8, 24, 0, {}, bytes(4 * 8 * 3, 0xFF)), std::vector<uint16_t>(32)},
        {"t1.bmp", bmp_file(2, 2, 1, 0, {}, {}), std::vector<uint16_t>(4)},
    };
    for (int32_t slot = 0; slot < 4; slot++) {
        write(cases[slot].name, cases[slot].file);
        ASSERT_EQ(tex_load(cases[slot].name), slot);
        EXPECT_EQ(texels_of(slot), cases[slot].texels) << cases[slot].name;
    }
    EXPECT_EQ(tex_width_shift(2), 2);
    EXPECT_EQ(tex_height_shift(2), 3);
    EXPECT_TRUE(shown_messages().empty());
}

TEST_F(TextureTest, SidesOutsideTheTableAreRefusedWithTheParseMessage) {
    const int32_t sides[][2] = {{100, 4}, {4, 100}, {1, 4}, {512, 4}, {4, -4}, {0, 0}};
    for (const auto& side : sides) {
        write("side.bmp", bmp_file(side[0], side[1], 16, 0, {}, bytes(2 * 512 * 4, 0)));
        expect_refused("side.bmp");
    }
}

TEST_F(TextureTest, LoadingANameTwiceSharesTheSlot) {
    write("tes256.bmp", bmp_file(2, 2, 16, 0, {}, bytes(8, 1)));
    write("other.bmp", bmp_file(2, 2, 16, 0, {}, bytes(8, 2)));
    EXPECT_EQ(tex_load("tes256.bmp"), 0);
    EXPECT_EQ(tex_load("other.bmp"), 1);
    EXPECT_EQ(tex_load("tes256.bmp"), 0);
    EXPECT_EQ(tex_get(0)->refs, 2);
    EXPECT_EQ(tex_get(1)->refs, 1);
    EXPECT_EQ(tex_get(1)->slot, 1);
    EXPECT_STREQ(tex_get(1)->name, "other.bmp");
    EXPECT_EQ(tex_free_slot(), 2);
    // Released whatever the count.
    tex_free(0);
    EXPECT_EQ(tex_get(0), nullptr);
    EXPECT_EQ(tex_free_slot(), 0);
    // The accessors of an empty or unknown slot give nothing to read.
    for (int32_t slot : {0, -1, TEX_SLOTS}) {
        EXPECT_EQ(tex_pixels(slot), nullptr) << slot;
        EXPECT_EQ(tex_width_shift(slot) | tex_height_shift(slot), 0) << slot;
    }
}

TEST_F(TextureTest, TableOf128Slots) {
    for (int i = 0; i < TEX_SLOTS - 1; i++) {
        ASSERT_EQ(tex_create(("c" + std::to_string(i)).c_str(), 1, 1), i);
    }
    write("last.bmp", bmp_file(2, 2, 16, 0, {}, bytes(8, 0)));
    write("extra.bmp", bmp_file(2, 2, 16, 0, {}, bytes(8, 0)));
    EXPECT_EQ(tex_load("last.bmp"), TEX_SLOTS - 1);
    EXPECT_EQ(tex_load("extra.bmp"), -1);
    EXPECT_EQ(tex_load("missing.bmp"), -1);
    EXPECT_EQ(tex_load("last.bmp"), TEX_SLOTS - 1);
    EXPECT_EQ(tex_get(TEX_SLOTS - 1)->refs, 2);
    EXPECT_TRUE(shown_messages().empty());
}

TEST_F(TextureTest, ShortFilesAreRefusedAtEveryBoundary) {
    Bytes palette(1024, 0x40);
    Bytes eight = bmp_file(16, 16, 8, 0, palette, bytes(256, 3));
    ASSERT_EQ(eight.size(), 1334u);
    for (size_t cut : {0, 14, 18, 22, 26, 28, 30, 46, 50, 53, 54, 55, 1077, 1078, 1333}) {
        write("cut8.bmp", Bytes(eight.begin(), eight.begin() + static_cast<long>(cut)));
        expect_refused("cut8.bmp");
    }
    // Four bits with three palette entries: palette ends at 66, rows at 74.
    Bytes four = bmp_file(8, 2, 4, 3, bytes(12, 0x40), bytes(8, 0x12));
    for (size_t cut : {60, 65, 66, 73}) {
        write("cut4.bmp", Bytes(four.begin(), four.begin() + static_cast<long>(cut)));
        expect_refused("cut4.bmp");
    }
    // A byte short of the rows, or of the headers when no pixels are read.
    for (int bits : {16, 32, 24}) {
        Bytes whole = bmp_file(4, 4, bits, 0, {}, Bytes(bits == 24 ? 0 : 2 * bits, 1));
        write("cut.bmp", Bytes(whole.begin(), whole.end() - 1));
        expect_refused("cut.bmp");
    }

    // The slot is free again for a whole file.
    write("whole.bmp", eight);
    EXPECT_EQ(tex_load("whole.bmp"), 0);
}

TEST_F(TextureTest, PaletteCountsOutsideTheTableAreRefused) {
    const Bytes big_palette(4 * 257, 0x10);
    write("neg.bmp", bmp_file(4, 2, 8, 0xFFFFFFFFu, {}, bytes(8, 0)));
    write("over8.bmp", bmp_file(4, 2, 8, 257, big_palette, bytes(8, 0)));
    write("over4.bmp", bmp_file(8, 2, 4, 257, big_palette, bytes(8, 0)));
    for (const char* name : {"neg.bmp", "over8.bmp", "over4.bmp"}) expect_refused(name);

    write("full.bmp", bmp_file(4, 2, 8, 256, bytes(1024, 0x10), bytes(8, 255)));
    EXPECT_EQ(tex_load("full.bmp"), 0);
    EXPECT_EQ(tex_pixels(0)[7], rgb555(0x10, 0x10, 0x10));
    // Four bits may have more than 16 entries; only the first 16 are used.
    Bytes palette(4 * 20, 0);
    palette[4 * 15] = 0xFF;
    write("more4.bmp", bmp_file(8, 2, 4, 20, palette, bytes(8, 0xF0)));
    EXPECT_EQ(tex_load("more4.bmp"), 1);
    EXPECT_EQ(tex_pixels(1)[0], 0x001F);
    EXPECT_EQ(tex_pixels(1)[1], 0);
    // Pixels without a palette ignore the count.
    write("count16.bmp", bmp_file(2, 2, 16, 300, {}, bytes(8, 0)));
    EXPECT_EQ(tex_load("count16.bmp"), 2);
}

TEST_F(TextureTest, NamesFilesAndAllocations) {
    write("a234567890123456789012345678", bmp_file(2, 2, 16, 0, {}, bytes(8, 0)));
    write("a23456789012345678901234567", bmp_file(2, 2, 16, 0, {}, bytes(8, 0)));
    // A name too long to keep is refused with a message, not quietly.
    expect_refused("a234567890123456789012345678");
    EXPECT_EQ(tex_load("a23456789012345678901234567"), 0);
    tex_free(0);

    headless_clear_messages();
    EXPECT_EQ(tex_load("missing.bmp"), -2);
    EXPECT_EQ(tex_load("."), -2);
    EXPECT_EQ(tex_load("missing_and_too_long_to_keep.bmp"), -2);
    EXPECT_EQ(shown_messages(),
              (std::vector<std::string>{message_with(MSG_FILE_NOT_FOUND, "missing.bmp"),
                                        message_with(MSG_FILE_NOT_FOUND, "."),
                                        message_with(MSG_FILE_NOT_FOUND,
                                                     "missing_and_too_long_to_keep.bmp")}));
    EXPECT_EQ(tex_free_slot(), 0);

    // The file, the record and the texels are allocated in that order; a file
    // that cannot be held counts as unreadable.
    write("ok.bmp", bmp_file(2, 2, 16, 0, {}, bytes(8, 0)));
    for (int failing : {1, 2, 3}) {
        headless_clear_messages();
        mem_fail_at(failing);
        EXPECT_EQ(tex_load("ok.bmp"), failing == 1 ? -2 : -1) << failing;
        ASSERT_EQ(shown_messages().size(), 1u);
        std::string size =
            failing == 1 ? "66" : (failing == 2 ? std::to_string(sizeof(Texture)) : "8");
        EXPECT_EQ(shown_messages()[0].rfind(size + "byte\x82", 0), 0u) << failing;
        EXPECT_EQ(tex_free_slot(), 0);
    }
    mem_fail_at(0);
    EXPECT_EQ(tex_load("ok.bmp"), 0);
}

}  // namespace
