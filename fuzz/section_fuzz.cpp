// The sectioned text parser on any text: a refusal has its message, and an
// image can be walked whole with the accessors.

#include <cstring>

#include "files/section.h"
#include "fuzz/fuzz_support.h"
#include "platform/headless.h"
#include "shell/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_process();
    const int32_t blocks = mem_blocks_in_use();
    std::vector<FuzzFile> files = {{"s.txt", fuzz_bytes(data, size)}};
    fuzz_serve(files);
    headless_clear_messages();
    SectionFile* image = sec_load("s.txt");
    sec_set_memory_files(nullptr, 0);
    if (image == nullptr) {
        FUZZ_CHECK(headless_message_count() > 0);
        FUZZ_CHECK(mem_blocks_in_use() == blocks);
        return 0;
    }
    uint32_t sum = 0;
    for (const Section* s = image; sec_name_size(s) != -1; s = sec_next(s)) {
        const int32_t name_size = sec_name_size(s);
        FUZZ_CHECK(name_size >= 4 && name_size % 4 == 0);
        FUZZ_CHECK(static_cast<int32_t>(std::strlen(sec_name(s))) < name_size);
        FUZZ_CHECK(sec_count(s) >= 1);
        FUZZ_CHECK(sec_size(s) >= 12 + name_size);
        // Touch every record byte.
        const uint8_t* records = sec_records(s);
        for (int32_t i = 0; i < sec_size(s) - 12 - name_size; i++) sum += records[i];
    }
    fuzz_sink = sum;
    mem_free(image);
    FUZZ_CHECK(mem_blocks_in_use() == blocks);
    return 0;
}
