#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "files/section.h"
#include "platform/headless.h"
#include "shell/memory.h"
#include "test_support.h"

namespace {

template <typename T = int32_t>
T word_at(const uint8_t* at) {
    T w;
    std::memcpy(&w, at, 4);
    return w;
}

class SectionTest : public FileTest {
protected:
    void TearDown() override {
        sec_set_memory_files(nullptr, 0);
        mem_free(image);
        FileTest::TearDown();
    }
    // Parses through a file, as the readers do.
    const Section* load(const std::string& text) {
        path = write_text_file("section.txt", text);
        mem_free(image);
        image = sec_load(path.c_str());
        return image;
    }
    // Expects a failed load with the record message, then the file message.
    void expect_bad_record(const std::string& text, const std::string& section, int record) {
        headless_clear_messages();
        EXPECT_EQ(load(text), nullptr);
        EXPECT_EQ(shown_messages(),
                  (std::vector<std::string>{bad_record_message(section, record),
                                            message_with(MSG_FILE_PARSE_FAILED, path)}));
    }
    std::string path;
    SectionFile* image = nullptr;
};

// An expected section image, written field by field: words, floats, and
// texts padded with NULs to a multiple of four bytes.
struct Image {
    std::string bytes;
    Image& w(int32_t v) { return raw(&v, 4); }
    Image& f(float v) { return raw(&v, 4); }
    Image& s(const std::string& text, size_t padded) {
        bytes += text + std::string(padded - text.size(), '\0');
        return *this;
    }
    Image& raw(const void* v, size_t n) {
        bytes.append(static_cast<const char*>(v), n);
        return *this;
    }
};

TEST_F(SectionTest, ImagesHoldEachSectionThenTheEndMarker) {
    // A section: name size, name, record count, size in bytes, records.
    const Image a_1 = Image().w(4).s("A:", 4).w(1).w(20).w(1).w(-1);
    const struct {
        const char* text;
        Image image;
    } cases[] = {
        {"A: IF 1 2.5 3 4.5 END_SEC:\n",
         Image().w(4).s("A:", 4).w(2).w(32).w(1).f(2.5f).w(3).f(4.5f).w(-1)},
        // A string is its padded length, then the text and its NUL.
        {"B: S ab abcd END_SEC:",
         Image().w(4).s("B:", 4).w(2).w(36).w(4).s("ab", 4).w(8).s("abcd", 8).w(-1)},
        {"FIRST_ONE: LV -9 1 2 3 4.25\nEND_SEC:\nB: I 7 8 9 END_SEC:\n",
         Image().w(12).s("FIRST_ONE:", 12).w(1).w(44).w(-9).f(1).f(2).f(3).f(4.25f)
             .w(4).s("B:", 4).w(3).w(28).w(7).w(8).w(9).w(-1)},
        // Unknown letters read nothing.
        {"D: IT 7 END_SEC:", Image().w(4).s("D:", 4).w(1).w(20).w(7).w(-1)},
        {"E: XY END_SEC:", Image().w(4).s("E:", 4).w(1).w(16).w(-1)},
        {"// head\r\n   // second line\r\nA:\r\nSI // trailing\r\na//b 5\r\n//\r\nEND_SEC:\r\n",
         Image().w(4).s("A:", 4).w(1).w(32).w(8).s("a//b", 8).w(5).w(-1)},
        {"A: I 1 END_SEC:\n", a_1}, {"A: I 1 END_SEC:", a_1}, {"A: I 1 END_SEC: // last", a_1},
        {"A: I 1 END_SEC:\n//", a_1},
        {"", Image().w(-1)}, {" \t\r\n", Image().w(-1)}, {"// only a comment", Image().w(-1)},
        {"// one\n\n// two\n", Image().w(-1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Section* s = load(c.text);
        ASSERT_NE(s, nullptr);
        const Section* end = s;
        while (sec_name_size(end) != -1) end = sec_next(end);
        ASSERT_EQ(static_cast<size_t>(end - s) + 4, c.image.bytes.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(s), c.image.bytes.size()),
                  c.image.bytes);
        EXPECT_EQ(sec_next(end), nullptr);
    }
    EXPECT_TRUE(shown_messages().empty());
}

TEST_F(SectionTest, BadRecordsAreNamedByTheirSectionAndNumber) {
    expect_bad_record("C: I 1 x END_SEC:\n", "C:", 2);
    // END_SEC: straight after the type token is the first value.
    expect_bad_record("C: I END_SEC:\n", "C:", 1);
    // No letter would ever take the 7.
    expect_bad_record("E: XY 7 END_SEC:", "E:", 2);
    // The text ends inside a section.
    expect_bad_record("A:", "A:", 1);
    expect_bad_record("A: I", "A:", 1);
    expect_bad_record("A: I 1 2", "A:", 3);
    expect_bad_record("A: IS 1", "A:", 1);
    expect_bad_record("A: XY", "A:", 2);
    expect_bad_record("A: I 1 END_SEC:\nB: S x // END_SEC:", "B:", 2);
}

TEST_F(SectionTest, NumbersConvertAsTheRuntimeDoes) {
    // Out-of-range values wrap modulo 2^32, as in a 32-bit long.
    const struct {
        const char* token;
        int32_t value;
    } ints[] = {{"12abc", 12}, {"1.5", 1}, {"-7", -7}, {"+3", 3}, {"007", 7},
                {"2147483647", 2147483647}, {"2147483648", INT32_MIN}, {"-2147483649", 2147483647},
                {"4294967297", 1}, {"99999999999999999999", 1661992959},
                {"-99999999999999999999", -1661992959}};
    for (const auto& c : ints) {
        int32_t i = 0;
        int32_t l = 0;
        std::string text = std::string("  ") + c.token + " next";
        const char* after = sec_read_int(text.c_str(), &i);
        ASSERT_NE(after, nullptr) << c.token;
        EXPECT_STREQ(after, " next");
        EXPECT_EQ(i, c.value) << c.token;
        ASSERT_NE(sec_read_long(text.c_str(), &l), nullptr);
        EXPECT_EQ(l, c.value) << c.token;
    }
    for (const char* bad : {"abc", "-", "+x", "END_SEC:", "", "  "}) {
        int32_t i = 0;
        EXPECT_EQ(sec_read_int(bad, &i), nullptr) << bad;
        EXPECT_EQ(sec_read_long(bad, &i), nullptr) << bad;
    }

    const struct {
        const char* token;
        float value;
    } floats[] = {{"1.5", 1.5f}, {"-2.5e1x", -25.0f}, {".5", 0.5f},  {"5.", 5.0f},
                  {"1e", 1.0f},  {"2E+2", 200.0f},    {"0x10", 0.0f}, {"0.1", 0.1f},
                  {"3abc", 3.0f}, {"-0.75", -0.75f}};
    for (const auto& c : floats) {
        float f = -1.0f;
        ASSERT_NE(sec_read_float(c.token, &f), nullptr) << c.token;
        EXPECT_EQ(f, c.value) << c.token;
    }
    for (const char* bad : {"abc", ".", "-.", "e5", "inf", "nan", "END_SEC:"}) {
        float f = 0.0f;
        EXPECT_EQ(sec_read_float(bad, &f), nullptr) << bad;
    }
}

TEST_F(SectionTest, TokensAndBlanks) {
    char token[8];
    EXPECT_EQ(sec_skip_blank(""), nullptr);
    EXPECT_EQ(sec_skip_blank(" \v\f// c"), nullptr);
    const char* text = "\t a//b\x81x\nc";
    const char* after = sec_read_token(text, token, sizeof token);
    ASSERT_NE(after, nullptr);
    EXPECT_STREQ(token, "a//b\x81x");
    EXPECT_STREQ(after, "\nc");
    // A token that does not fit is cut and not read.
    EXPECT_EQ(sec_read_token("abcdefgh", token, sizeof token), nullptr);
    EXPECT_STREQ(token, "abcdefg");
    EXPECT_NE(sec_read_token("abcdefg", token, sizeof token), nullptr);
}

TEST_F(SectionTest, NameTypeAndNumberLimits) {
    std::string name31(30, 'N');
    name31 += ':';
    const Section* s = load(name31 + " I 1 END_SEC:");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sec_name_size(s), 32);
    EXPECT_EQ(sec_name(s), name31);
    // A longer name is named by its first 31 characters.
    expect_bad_record("X" + name31 + " I 1 END_SEC:", "X" + name31.substr(0, 30), 1);

    std::string types31(31, 'I');
    std::string values;
    for (int i = 0; i < 31; i++) values += " 1";
    s = load("A: " + types31 + values + " END_SEC:");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sec_size(s), 12 + 4 + 31 * 4);
    expect_bad_record("A: I" + types31 + values + " 1 END_SEC:", "A:", 1);

    std::string number51 = std::string(50, '0') + "9";
    s = load("A: IF " + number51 + " " + number51 + " END_SEC:");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(word_at(sec_records(s)), 9);
    EXPECT_EQ(word_at<float>(sec_records(s) + 4), 9.0f);
    expect_bad_record("A: I 1 0" + number51 + " END_SEC:", "A:", 2);
    expect_bad_record("A: F 1 0" + number51 + " END_SEC:", "A:", 2);
}

// A header of 16 bytes, then 4-byte records: n records leave the writing
// position at 16 + 4n; the end marker and the token examined after each record
// (2 bytes for "7", 9 for "END_SEC:") must still fit in the 20,000 bytes.
std::string integer_section(const char* name, int records) {
    std::string text = std::string(name) + " I";
    for (int i = 0; i < records; i++) text += " 7";
    return text + " END_SEC:\n";
}

TEST_F(SectionTest, WorkingImageLimit) {
    const Section* s = load(integer_section("A:", 4993));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sec_size(s), 16 + 4 * 4993);
    EXPECT_EQ(word_at(sec_records(s) + 4 * 4992), 7);
    // "END_SEC:" after record 4994 would end at byte 20,001.
    expect_bad_record(integer_section("A:", 4994), "A:", 4994);
    // Records that would cover the end marker's place.
    expect_bad_record(integer_section("A:", 4996), "A:", 4996);
    // The next section's header no longer fits.
    expect_bad_record(integer_section("A:", 4993) + "B: I 1 END_SEC:", "B:", 1);
    // A string value running past the buffer.
    std::string big(19990, 's');
    expect_bad_record("A: S " + big + " END_SEC:", "A:", 1);
    s = load("A: S " + std::string(19966, 's') + " END_SEC:");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sec_size(s), 16 + 4 + 19968);
}

TEST_F(SectionTest, FailuresOfReadingAndAllocation) {
    mkdir("adir", 0755);
    for (const char* name : {"no-such-file.txt", "adir"}) {
        headless_clear_messages();
        EXPECT_EQ(sec_load(name), nullptr);
        EXPECT_EQ(shown_messages(),
                  std::vector<std::string>{message_with(MSG_FILE_NOT_FOUND, name)});
    }

    // The text is read, then the working buffer cannot be had.
    headless_clear_messages();
    path = write_text_file("section.txt", "A: I 1 END_SEC:");
    mem_fail_at(2);
    EXPECT_EQ(sec_load(path.c_str()), nullptr);
    std::vector<std::string> shown = shown_messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].substr(0, 9), "20000byte");
    EXPECT_EQ(shown[1], message_with(MSG_FILE_PARSE_FAILED, path));
}

// Reads a whole file and expects its bytes followed by a NUL.
void expect_read(const char* name, const std::string& bytes) {
    int32_t size = -1;
    char* data = sec_read_file_sized(name, &size);
    ASSERT_NE(data, nullptr) << name;
    EXPECT_EQ(size, static_cast<int32_t>(bytes.size())) << name;
    EXPECT_EQ(std::string(data, bytes.size() + 1), bytes + std::string(1, '\0')) << name;
    mem_free(data);
}

TEST_F(SectionTest, MemoryFilesStandInForTheDisk) {
    path = write_text_file("on-disk.txt", "D: I 1 END_SEC:");
    const std::string text = "M: I 7 END_SEC:";
    const SecMemoryFile files[] = {
        {"m.txt", reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())},
        {"none.bin", nullptr, 0}};
    sec_set_memory_files(files, 2);
    image = sec_load("m.txt");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(sec_name(image), "M:");
    EXPECT_EQ(word_at(sec_records(image)), 7);
    expect_read("none.bin", "");
    // While the table is set, a file only on the disk is missing.
    EXPECT_EQ(sec_read_file("on-disk.txt"), nullptr);
    EXPECT_EQ(shown_messages(),
              std::vector<std::string>{message_with(MSG_FILE_NOT_FOUND, "on-disk.txt")});

    sec_set_memory_files(nullptr, 0);
    char* disk = sec_read_file("on-disk.txt");
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk, "D: I 1 END_SEC:");
    mem_free(disk);
    EXPECT_EQ(sec_read_file("m.txt"), nullptr);
}

}  // namespace
