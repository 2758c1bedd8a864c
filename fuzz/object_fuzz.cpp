// One object file, the only bone of a fixed model, through the single-texture
// reader and then through the multi-texture reader, each load drawn when it
// succeeds. The textures "a.bmp" and "b.bmp" are there for its names chunk.

#include "files/texture.h"
#include "fuzz/fuzz_support.h"

namespace {

const char MODEL_FILE[] =
    "SEC_M_HEAD: IVVV 1  0 0 0 0  0 0 0 0  512 512 512 0 END_SEC:\n"
    "SEC_M_OBJ: S o.obj END_SEC:\n"
    "SEC_M_BORN: IIVVVV 0 0  0 0 0 0  0 0 0 0  0 0 0 0  0 0 0 0 END_SEC:\n";

// A little-endian BMP of the given side, bit count and pixel bytes, with a
// palette of `palette` grey entries.
std::string bmp(int32_t side, int32_t bits, int32_t palette, const std::string& pixels) {
    std::string b(54, '\0');
    auto put32 = [&b](size_t at, int32_t v) {
        for (int i = 0; i < 4; i++) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(14, 40);
    put32(18, side);
    put32(22, side);
    b[26] = 1;
    b[28] = static_cast<char>(bits);
    put32(46, palette);
    for (int32_t i = 0; i < palette; i++) {
        const char grey = static_cast<char>(i * 40);
        b += std::string{grey, grey, grey, '\0'};
    }
    return b + pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string a_bmp =
        bmp(2, 16, 0, std::string("\x1f\x00\xe0\x03\x00\x7c\xff\x7f", 8));
    static const std::string b_bmp =
        bmp(4, 8, 4, std::string("\x00\x01\x02\x03", 4) + std::string(12, '\x01'));
    const std::vector<FuzzFile> files = {{"mdt.txt", MODEL_FILE},
                                         {"o.obj", fuzz_bytes(data, size)},
                                         {"a.bmp", a_bmp},
                                         {"b.bmp", b_bmp}};
    fuzz_start_scene();
    fuzz_serve(files);
    const int32_t texture = tex_load("a.bmp");
    FUZZ_CHECK(texture == 0);
    fuzz_load_and_draw("mdt.txt", texture);
    fuzz_load_and_draw("mdt.txt", -1);
    fuzz_stop_scene();
    return 0;
}
