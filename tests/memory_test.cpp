#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/headless.h"
#include "shell/memory.h"

namespace {

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        mem_fail_at(0);
    }
    void TearDown() override { mem_fail_at(0); }
};

TEST_F(MemoryTest, FailedAllocationShowsTheSizeInDecimal) {
    mem_fail_at(1);
    EXPECT_EQ(mem_alloc(123456), nullptr);
    ASSERT_EQ(headless_message_count(), 1);
    EXPECT_EQ(std::string(headless_message(0)),
              std::string("123456byte\x82\xcc\x97\xcc\x88\xe6\x82\xcc\x8am\x95\xdb\x82\xc9\x8e"
                          "\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B"));
}

TEST_F(MemoryTest, NegativeSizeFailsWithItsMessage) {
    EXPECT_EQ(mem_alloc(-5), nullptr);
    ASSERT_EQ(headless_message_count(), 1);
    EXPECT_EQ(std::strncmp(headless_message(0), "-5byte", 6), 0);
}

TEST_F(MemoryTest, BlocksAreZeroFilledAndZeroSizeIsQuiet) {
    unsigned char* p = static_cast<unsigned char*>(mem_alloc(64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; i++) EXPECT_EQ(p[i], 0);
    mem_free(p);
    void* z = mem_alloc(0);
    if (z != nullptr) {
        EXPECT_EQ(headless_message_count(), 0);
    }
    mem_free(z);
    mem_free(nullptr);
}

TEST_F(MemoryTest, TheKthCallFailsOnlyOnce) {
    mem_fail_at(2);
    void* a = mem_alloc(8);
    void* b = mem_alloc(8);
    void* c = mem_alloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(mem_alloc_calls(), 3);
    mem_free(a);
    mem_free(c);
}

TEST_F(MemoryTest, ErrorBoxCutsLongTextsAtWholeCharacters) {
    // 98 ASCII bytes, then a two-byte character that would straddle byte 99.
    std::string text(98, 'a');
    text += "\x83t";
    text += "tail";
    error_box("%s", text.c_str());
    ASSERT_EQ(headless_message_count(), 1);
    EXPECT_EQ(std::string(headless_message(0)), std::string(98, 'a'));

    // 97 bytes then the character: it fits whole in 99.
    std::string fits(97, 'b');
    fits += "\x83t";
    fits += "tail";
    error_box("%s", fits.c_str());
    EXPECT_EQ(std::string(headless_message(1)), std::string(97, 'b') + "\x83t");
}

TEST_F(MemoryTest, ShortTextsAreShownWhole) {
    error_box("%s%d", "x", 42);
    EXPECT_EQ(std::string(headless_message(0)), "x42");
}

}  // namespace
