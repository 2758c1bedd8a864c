// Sectioned text files: named sections of typed records, parsed into a packed
// binary image.
#pragma once

#include <cstdint>

constexpr int32_t SEC_WORK_SIZE = 20000;

// A section of the binary image; the image (SectionFile) is its first section.
typedef uint8_t Section;
typedef uint8_t SectionFile;

// The whole file plus a NUL, in a zero-filled block of file size + 4 bytes;
// null (after the not-found message) when it cannot be read whole.
char* sec_read_file(const char* name);
// The same, also giving the number of bytes the file holds.
char* sec_read_file_sized(const char* name, int32_t* size);

SectionFile* sec_load(const char* name);
SectionFile* sec_parse(const char* text);

int32_t sec_name_size(const Section* section);  // -1 for the end marker
const char* sec_name(const Section* section);
int32_t sec_count(const Section* section);
int32_t sec_size(const Section* section);
const uint8_t* sec_records(const Section* section);
const Section* sec_next(const Section* section);  // null after the end marker
