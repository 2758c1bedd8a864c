#include <iconv.h>

#include <cstdio>
#include <cstring>

#include "platform/backend.h"

void plat_sjis_to_utf8(const char* sjis, char* utf8, int utf8_size) {
    if (utf8_size <= 0) return;
    utf8[0] = '\0';
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "SHIFT_JIS");
    char* in = const_cast<char*>(sjis);
    size_t in_left = strlen(sjis);
    char* out = utf8;
    size_t out_left = static_cast<size_t>(utf8_size) - 1;
    while (in_left > 0 && out_left > 0) {
        if (cd != reinterpret_cast<iconv_t>(-1) &&
            iconv(cd, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1)) {
            break;
        }
        // A byte that does not convert is shown as \xNN.
        if (out_left < 5) break;
        snprintf(out, out_left + 1, "\\x%02X", static_cast<unsigned char>(*in));
        out += 4;
        out_left -= 4;
        in++;
        in_left--;
    }
    *out = '\0';
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}
