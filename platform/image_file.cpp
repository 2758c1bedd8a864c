// Screenshots of RGB555 pixels: 16-bit BMP files and 8-bit RGB PNG files.

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/backend.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put32_be(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

int write_file(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path, "wb");
    if (f == nullptr) return -1;
    size_t written = fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = fclose(f);
    return (written == bytes.size() && closed == 0) ? 0 : -1;
}

uint32_t crc32_of(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        made = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void png_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32_be(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32_be(out, crc32_of(out.data() + start, out.size() - start));
}

uint8_t expand5(int c) {
    return static_cast<uint8_t>((c << 3) | (c >> 2));
}

}  // namespace

int plat_write_bmp16(const char* path, const uint16_t* pixels, int stride, int width,
                     int height) {
    if (width <= 0 || height <= 0) return -1;
    uint32_t row_bytes = (static_cast<uint32_t>(width) * 2 + 3) & ~3u;
    uint32_t image_bytes = row_bytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.reserve(54 + image_bytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + image_bytes);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));  // positive: bottom-up rows
    put16(out, 1);
    put16(out, 16);
    put32(out, 0);  // BI_RGB
    put32(out, image_bytes);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = height - 1; y >= 0; y--) {
        const uint16_t* row = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; x++) put16(out, row[x]);
        for (uint32_t pad = static_cast<uint32_t>(width) * 2; pad < row_bytes; pad++) out.push_back(0);
    }
    return write_file(path, out);
}

int plat_write_png(const char* path, const uint16_t* pixels, int stride, int width, int height) {
    if (width <= 0 || height <= 0) return -1;
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; y++) {
        raw.push_back(0);  // no filter
        const uint16_t* row = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; x++) {
            raw.push_back(expand5((row[x] >> 10) & 31));
            raw.push_back(expand5((row[x] >> 5) & 31));
            raw.push_back(expand5(row[x] & 31));
        }
    }
    // zlib stream of stored deflate blocks
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t len = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        bool last = pos + len == raw.size();
        z.push_back(last ? 1 : 0);
        put16(z, static_cast<uint32_t>(len));
        put16(z, static_cast<uint32_t>(~len & 0xFFFF));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + len));
        pos += len;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32_be(z, (b << 16) | a);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32_be(ihdr, static_cast<uint32_t>(width));
    put32_be(ihdr, static_cast<uint32_t>(height));
    ihdr.push_back(8);  // bit depth
    ihdr.push_back(2);  // RGB
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(0);
    png_chunk(out, "IHDR", ihdr);
    png_chunk(out, "IDAT", z);
    png_chunk(out, "IEND", {});
    return write_file(path, out);
}
