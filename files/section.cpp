#include "files/section.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/memory.h"

namespace {

constexpr char END_TOKEN[] = "END_SEC:";

// Token buffer of the number readers.
char number_token[SEC_NUMBER_MAX + 1];

const SecMemoryFile* memory_files = nullptr;
int32_t memory_file_count = 0;

bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

int32_t read_word(const uint8_t* at) {
    int32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

void write_word(uint8_t* at, int32_t word) {
    std::memcpy(at, &word, sizeof word);
}

// Room for a length-prefixed string of `length` characters: the length word,
// then the characters, NUL and padding up to a multiple of 4.
int32_t padded_size(int32_t length) {
    return (length + 4) & ~3;
}

// The next token into number_token; null when there is none or it is too long.
const char* read_number_token(const char* position) {
    return sec_read_token(position, number_token, sizeof number_token);
}

// Decimal integer as the 32-bit runtime converts it: optional sign, at least
// one digit, the rest of the token ignored; the value is accumulated in 32 bits
// and so wraps modulo 2^32.
bool convert_decimal(const char* token, int32_t* value) {
    const char* p = token;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (!is_digit(*p)) return false;
    uint32_t magnitude = 0;
    for (; is_digit(*p); p++) magnitude = magnitude * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) magnitude = 0u - magnitude;
    *value = static_cast<int32_t>(magnitude);
    return true;
}

// Decimal float as the 32-bit runtime converts it: optional sign, digits with
// an optional point (at least one digit), optional exponent; the rest of the
// token is ignored. No hexadecimal, infinity or NaN spellings. The token is
// cut after the number.
bool convert_float(char* token, float* value) {
    char* p = token;
    if (*p == '-' || *p == '+') p++;
    int32_t digits = 0;
    for (; is_digit(*p); p++) digits++;
    if (*p == '.') {
        for (p++; is_digit(*p); p++) digits++;
    }
    if (digits == 0) return false;
    if (*p == 'e' || *p == 'E') {
        char* exponent = p + 1;
        if (*exponent == '-' || *exponent == '+') exponent++;
        if (is_digit(*exponent)) {
            for (p = exponent; is_digit(*p); p++) {
            }
        }
    }
    *p = '\0';
    *value = std::strtof(token, nullptr);
    return true;
}

// One number token converted into the (possibly unaligned) destination.
template <class T, class Convert>
const char* read_number(const char* position, void* destination, Convert convert) {
    const char* after = read_number_token(position);
    T value;
    if (after == nullptr || !convert(number_token, &value)) return nullptr;
    std::memcpy(destination, &value, sizeof value);
    return after;
}

const char* read_integer(const char* position, void* destination) {
    return read_number<int32_t>(position, destination, convert_decimal);
}

// The byte count of an open file, positioned at its start again; -1 when it
// cannot be read (a directory opens on some systems but fails its first read)
// or is too large for one block.
long readable_length(FILE* file) {
    if (std::fgetc(file) == EOF && std::ferror(file)) return -1;
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    long length = std::ftell(file);
    if (length < 0 || length > INT32_MAX - 4 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
    return length;
}

// The bad-record message; returns null for the caller to pass on.
const char* bad_record(const char* section_name, int32_t record) {
    error_box(MSG_BAD_RECORD, section_name, static_cast<int>(record));
    return nullptr;
}

// One value of a record at `*out`, before `limit`; advances both positions.
bool read_value(char letter, const char** text, uint8_t** out, const uint8_t* limit) {
    const char* after = *text;
    int32_t bytes = 0;
    switch (letter) {
    case 'I':
    case 'L':
        bytes = 4;
        if (limit - *out < bytes) return false;
        after = letter == 'I' ? sec_read_int(after, *out) : sec_read_long(after, *out);
        break;
    case 'F':
    case 'V':
        bytes = letter == 'F' ? 4 : 16;
        if (limit - *out < bytes) return false;
        for (int32_t i = 0; i < bytes && after != nullptr; i += 4) {
            after = sec_read_float(after, *out + i);
        }
        break;
    case 'S': {
        if (limit - *out < 4) return false;
        char* chars = reinterpret_cast<char*>(*out + 4);
        after = sec_read_token(after, chars, static_cast<int32_t>(limit - *out) - 4);
        if (after == nullptr) return false;
        int32_t length = static_cast<int32_t>(std::strlen(chars));
        int32_t padded = padded_size(length);
        if (limit - *out - 4 < padded) return false;
        std::memset(chars + length, 0, static_cast<size_t>(padded - length));
        write_word(*out, padded);
        bytes = 4 + padded;
        break;
    }
    default: return true;  // an unknown letter reads nothing
    }
    if (after == nullptr) return false;
    *text = after;
    *out += bytes;
    return true;
}

// A copy of a file of the memory table, as sec_read_file_sized gives it.
char* read_memory_file(const char* name, int32_t* size) {
    const SecMemoryFile* file = nullptr;
    for (int32_t i = 0; i < memory_file_count && file == nullptr; i++) {
        if (std::strcmp(memory_files[i].name, name) == 0) file = &memory_files[i];
    }
    if (file == nullptr || file->size < 0 || file->size > INT32_MAX - 4) {
        error_box(MSG_FILE_NOT_FOUND, name);
        return nullptr;
    }
    char* text = static_cast<char*>(mem_alloc(file->size + 4));
    if (text == nullptr) return nullptr;
    if (file->size > 0) std::memcpy(text, file->data, static_cast<size_t>(file->size));
    *size = file->size;
    return text;
}

}  // namespace

void sec_set_memory_files(const SecMemoryFile* files, int32_t count) {
    memory_files = count > 0 ? files : nullptr;
    memory_file_count = memory_files != nullptr ? count : 0;
}

char* sec_read_file_sized(const char* name, int32_t* size) {
    if (memory_files != nullptr) return read_memory_file(name, size);
    FILE* file = std::fopen(name, "rb");
    long length = file != nullptr ? readable_length(file) : -1;
    if (length < 0) {
        if (file != nullptr) std::fclose(file);
        error_box(MSG_FILE_NOT_FOUND, name);
        return nullptr;
    }
    // Zero-filled, so the text ends in a NUL.
    char* text = static_cast<char*>(mem_alloc(static_cast<int32_t>(length) + 4));
    size_t bytes = static_cast<size_t>(length);
    bool whole = text != nullptr && std::fread(text, 1, bytes, file) == bytes;
    std::fclose(file);
    if (text == nullptr) return nullptr;
    if (!whole) {
        mem_free(text);
        error_box(MSG_FILE_NOT_FOUND, name);
        return nullptr;
    }
    *size = static_cast<int32_t>(length);
    return text;
}

char* sec_read_file(const char* name) {
    int32_t size;
    return sec_read_file_sized(name, &size);
}

SectionFile* sec_load(const char* name) {
    char* text = sec_read_file(name);
    if (text == nullptr) return nullptr;
    SectionFile* image = sec_parse(text);
    mem_free(text);
    if (image == nullptr) error_box(MSG_FILE_PARSE_FAILED, name);
    return image;
}

SectionFile* sec_parse(const char* text) {
    uint8_t* buffer = static_cast<uint8_t*>(mem_alloc(SEC_WORK_SIZE));
    if (buffer == nullptr) return nullptr;
    uint8_t* out = buffer;
    const char* position = text;
    while (sec_skip_blank(position) != nullptr) {
        position = sec_parse_section(position, out, buffer + SEC_WORK_SIZE);
        if (position == nullptr) {
            mem_free(buffer);
            return nullptr;
        }
        char end_token[sizeof END_TOKEN];
        position = sec_read_token(position, end_token, sizeof end_token);
        out += sec_size(out);
    }
    // Every section left room for this end marker.
    write_word(out, -1);
    return static_cast<SectionFile*>(mem_shrink(buffer, static_cast<int32_t>(out - buffer) + 4));
}

const char* sec_parse_section(const char* text, uint8_t* out, uint8_t* end) {
    const uint8_t* limit = end - 4;  // the end marker's room
    char name[SEC_NAME_MAX + 1];
    const char* position = sec_read_token(text, name, sizeof name);
    if (position == nullptr) return bad_record(name, 1);
    int32_t name_length = static_cast<int32_t>(std::strlen(name));
    int32_t name_size = padded_size(name_length);
    if (limit - out < 12 + name_size) return bad_record(name, 1);
    write_word(out, name_size);
    std::memset(out + 4, 0, static_cast<size_t>(name_size));
    std::memcpy(out + 4, name, static_cast<size_t>(name_length));

    char types[SEC_TYPES_MAX + 1];
    position = sec_read_token(position, types, sizeof types);
    if (position == nullptr) return bad_record(name, 1);
    // Without a letter that reads a token, a record can never take the token
    // that follows it.
    bool reads_tokens = std::strpbrk(types, "ILFVS") != nullptr;

    uint8_t* writing = out + 12 + name_size;
    int32_t record = 1;
    for (;;) {
        for (const char* letter = types; *letter != '\0'; letter++) {
            if (!read_value(*letter, &position, &writing, limit)) return bad_record(name, record);
        }
        // The token after the record goes to the writing position as scratch.
        char* scratch = reinterpret_cast<char*>(writing);
        const char* after = sec_read_token(position, scratch, static_cast<int32_t>(end - writing));
        if (after != nullptr && std::strcmp(scratch, END_TOKEN) == 0) break;
        bool at_end = sec_skip_blank(position) == nullptr;
        if (after == nullptr && !at_end) return bad_record(name, record);  // no room for it
        record++;
        if (at_end || !reads_tokens) return bad_record(name, record);
    }
    write_word(out + 4 + name_size, record);
    write_word(out + 8 + name_size, static_cast<int32_t>(writing - out));
    return position;
}

const char* sec_skip_blank(const char* position) {
    for (;;) {
        while (is_blank(*position)) position++;
        if (position[0] != '/' || position[1] != '/') break;
        while (*position != '\n' && *position != '\0') position++;
    }
    return *position != '\0' ? position : nullptr;
}

const char* sec_read_token(const char* position, char* destination, int32_t capacity) {
    if (capacity < 1) return nullptr;
    const char* start = sec_skip_blank(position);
    if (start == nullptr) {
        destination[0] = '\0';
        return nullptr;
    }
    const char* p = start;
    int32_t copied = 0;
    for (; *p != '\0' && !is_blank(*p); p++) {
        if (copied == capacity - 1) {
            destination[copied] = '\0';
            return nullptr;
        }
        destination[copied++] = *p;
    }
    destination[copied] = '\0';
    return p;
}

const char* sec_read_int(const char* position, void* destination) {
    return read_integer(position, destination);
}

// The runtime's long is 32 bits, so "%ld" converts exactly as "%d".
const char* sec_read_long(const char* position, void* destination) {
    return read_integer(position, destination);
}

const char* sec_read_float(const char* position, void* destination) {
    return read_number<float>(position, destination, convert_float);
}

int32_t sec_name_size(const Section* section) {
    return read_word(section);
}

const char* sec_name(const Section* section) {
    return reinterpret_cast<const char*>(section + 4);
}

int32_t sec_count(const Section* section) {
    return read_word(section + 4 + sec_name_size(section));
}

int32_t sec_size(const Section* section) {
    return read_word(section + 8 + sec_name_size(section));
}

const uint8_t* sec_records(const Section* section) {
    return section + 12 + sec_name_size(section);
}

const Section* sec_next(const Section* section) {
    if (sec_name_size(section) == -1) return nullptr;
    return section + sec_size(section);
}
