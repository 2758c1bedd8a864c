// Sectioned text files: named sections of typed records, parsed into a packed
// binary image.
#pragma once

#include <cstdint>

constexpr int32_t SEC_WORK_SIZE = 20000;
constexpr int32_t SEC_NAME_MAX = 31;    // characters of a section name
constexpr int32_t SEC_TYPES_MAX = 31;   // letters of a field-type token
constexpr int32_t SEC_NUMBER_MAX = 51;  // characters of a numeric token

// A section of the binary image; the image (SectionFile) is its first section.
typedef uint8_t Section;
typedef uint8_t SectionFile;

// The whole file plus a NUL, in a zero-filled block of file size + 4 bytes;
// null (after the not-found message) when it cannot be read whole.
char* sec_read_file(const char* name);
// The same, also giving the number of bytes the file holds.
char* sec_read_file_sized(const char* name, int32_t* size);

// Files held in memory, for tests and fuzzing: while a table is set, the file
// readers take each name from it alone (a name it lacks is a missing file), so
// the loaders run unchanged on buffers. The table must outlive its use; a null
// table (the default) reads from the disk again.
struct SecMemoryFile {
    const char* name;
    const uint8_t* data;
    int32_t size;
};
void sec_set_memory_files(const SecMemoryFile* files, int32_t count);

// The file parsed into an image the caller releases with mem_free; null after
// the messages when it cannot be read or parsed.
SectionFile* sec_load(const char* name);
SectionFile* sec_parse(const char* text);

// One section from `text` into the image at `out`, staying before `end` (the
// end of the working buffer) with room left for the end marker. Returns the
// text position just before the section's "END_SEC:", or null after the
// record message.
const char* sec_parse_section(const char* text, uint8_t* out, uint8_t* end);

// The first character of the next token, or null at the end of the text.
const char* sec_skip_blank(const char* position);
// Copies the next token into `destination` (capacity bytes, NUL included) and
// returns the position after it; null at the end of the text, or when the
// token does not fit (the destination then holds its first capacity - 1
// characters).
const char* sec_read_token(const char* position, char* destination, int32_t capacity);
// The next token converted as "%d", "%ld" or "%f" into 4 bytes at
// `destination`: the position after it, or null when there is no token, it is
// longer than SEC_NUMBER_MAX or it does not begin with a number.
const char* sec_read_int(const char* position, void* destination);
const char* sec_read_long(const char* position, void* destination);
const char* sec_read_float(const char* position, void* destination);

int32_t sec_name_size(const Section* section);  // -1 for the end marker
const char* sec_name(const Section* section);
int32_t sec_count(const Section* section);
int32_t sec_size(const Section* section);
const uint8_t* sec_records(const Section* section);
const Section* sec_next(const Section* section);  // null after the end marker
