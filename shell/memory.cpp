#include "shell/memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/win32.h"

namespace {

int32_t fail_at_call = 0;  // 0: never fail
int32_t calls_since_armed = 0;
int32_t failed_size = -1;
int32_t blocks_in_use = 0;

bool is_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Cuts a text that filled the buffer so that its last character is whole.
void cut_whole_characters(char* text, int length) {
    int i = 0;
    while (i < length) {
        if (is_lead_byte(static_cast<unsigned char>(text[i]))) {
            if (i + 1 >= length) {
                text[i] = '\0';
                return;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
}

}  // namespace

void error_box(const char* format, ...) {
    char text[ERROR_BOX_SIZE];
    va_list args;
    va_start(args, format);
    int wanted = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (wanted < 0) {
        text[0] = '\0';
    } else if (wanted >= ERROR_BOX_SIZE) {
        cut_whole_characters(text, ERROR_BOX_SIZE - 1);
    }
    MessageBoxA(nullptr, text, MSG_CAPTION, MB_OK);
}

void* mem_alloc(int32_t size) {
    void* block = nullptr;
    bool injected = false;
    calls_since_armed++;
    if (fail_at_call > 0 && calls_since_armed == fail_at_call) {
        injected = true;
        failed_size = size;
    }
    if (size >= 0 && !injected) block = calloc(static_cast<size_t>(size), 1);
    if (block == nullptr) {
        error_box(MSG_ALLOC_FAILED, static_cast<int>(size));
        return nullptr;
    }
    blocks_in_use++;
    return block;
}

void mem_free(void* block) {
    if (block == nullptr) return;
    free(block);
    blocks_in_use--;
}

void* mem_shrink(void* block, int32_t size) {
    if (block == nullptr || size <= 0) return block;
    void* shrunk = realloc(block, static_cast<size_t>(size));
    return shrunk != nullptr ? shrunk : block;
}

void mem_fail_at(int32_t k) {
    fail_at_call = k > 0 ? k : 0;
    calls_since_armed = 0;
    failed_size = -1;
}

int32_t mem_alloc_calls() {
    return calls_since_armed;
}

int32_t mem_failed_size() {
    return failed_size;
}

int32_t mem_blocks_in_use() {
    return blocks_in_use;
}
