#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    EXPECT_EQ(mem_alloc(-5), nullptr);
    ASSERT_EQ(headless_message_count(), 2);
    EXPECT_EQ(std::string(headless_message(0)),
              std::string("123456byte\x82\xcc\x97\xcc\x88\xe6\x82\xcc\x8am\x95\xdb\x82\xc9\x8e"
                          "\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B"));
    EXPECT_EQ(std::string(headless_message(1)).substr(0, 6), "-5byte");
}

TEST_F(MemoryTest, BlocksAreZeroFilledAndZeroSizeIsQuiet) {
    unsigned char* p = static_cast<unsigned char*>(mem_alloc(64));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(p, p + 64), std::vector<unsigned char>(64, 0));
    mem_free(p);
    void* z = mem_alloc(0);
    EXPECT_EQ(z == nullptr ? 0 : headless_message_count(), 0);
    mem_free(z);
    mem_free(nullptr);
}

TEST_F(MemoryTest, ErrorBoxCutsLongTextsAtWholeCharacters) {
    // A two-byte character straddling byte 99 is dropped; one ending there fits.
    const std::string cases[][2] = {{std::string(98, 'a'), ""}, {std::string(97, 'b'), "\x83t"}};
    for (const auto& c : cases) {
        headless_clear_messages();
        error_box("%s", (c[0] + "\x83t" + "tail").c_str());
        ASSERT_EQ(headless_message_count(), 1);
        EXPECT_EQ(std::string(headless_message(0)), c[0] + c[1]);
    }
}

}  // namespace
