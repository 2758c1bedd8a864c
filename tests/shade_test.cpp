#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "geometry/camera.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "shell/memory.h"

namespace {

class ShadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        mem_fail_at(0);
    }
    void TearDown() override {
        mem_fail_at(0);
        shade_release();
    }
};

int entry(int slot, int row, int column) {
    return shade_ramp(slot)[row * 32 + column];
}

TEST_F(ShadeTest, StartUpBuildsTheThreeRampsAndSetsTheLightColour) {
    cam_set_light_colour(1, 2, 3);
    ASSERT_EQ(shade_init(), 0);
    const LightColour* light = cam_light_colour();
    EXPECT_EQ(light->r, 255);
    EXPECT_EQ(light->g, 255);
    EXPECT_EQ(light->b, 255);

    EXPECT_EQ(entry(0, 0, 31), 15);
    EXPECT_EQ(entry(0, 16, 16), 16);
    EXPECT_EQ(entry(0, 31, 0), 10);
    EXPECT_EQ(entry(0, 31, 31), 31);
    EXPECT_EQ(entry(0, 20, 10), 1 + 6 + 5);
    EXPECT_EQ(entry(1, 16, 16), 17);
    EXPECT_EQ(entry(1, 16, 31), 31);
    EXPECT_EQ(entry(1, 27, 2), 15 + 1 + 1);
    for (int row : {30, 31}) {
        for (int i = 0; i < 32; i++) EXPECT_EQ(entry(1, row, i), 31) << row << " " << i;
    }
    const int banded[8] = {0, 0, 1, 1, 10, 10, 11, 11};
    for (int i = 0; i < 8; i++) EXPECT_EQ(entry(2, 8, i), banded[i]) << i;
    EXPECT_EQ(entry(2, 31, 16), 24);
    EXPECT_EQ(entry(2, 31, 1), 0);
    // At light level 0 every ramp halves the channel.
    for (int k = 0; k < 3; k++) {
        for (int i = 0; i < 32; i++) EXPECT_EQ(entry(k, 0, i), i >> 1) << k << " " << i;
    }
    EXPECT_EQ(headless_message_count(), 0);
}

TEST_F(ShadeTest, RampStoreHasSixteenSlots) {
    EXPECT_EQ(shade_new_ramp(), -1);  // no store before start-up
    EXPECT_EQ(shade_ramp(0), nullptr);
    ASSERT_EQ(shade_init(), 0);
    EXPECT_EQ(shade_ramp(16), nullptr);
    EXPECT_EQ(shade_ramp(-1), nullptr);
    EXPECT_EQ(shade_ramp(3), nullptr);
    for (int32_t slot = 3; slot < RAMP_SLOTS; slot++) {
        EXPECT_EQ(shade_new_ramp(), slot);
        ASSERT_NE(shade_ramp(slot), nullptr);
        EXPECT_EQ(shade_ramp(slot)[RAMP_SIZE - 1], 0);  // zero-filled
    }
    EXPECT_EQ(shade_new_ramp(), -1);
    EXPECT_EQ(shade_build_ramps(), -1);
    shade_release();
    EXPECT_EQ(shade_ramp(0), nullptr);
    shade_release();
}

TEST_F(ShadeTest, CurrentRampFollowsTheTable) {
    ASSERT_EQ(shade_init(), 0);
    EXPECT_EQ(shade_current_ramp(), shade_ramp(0));
    EXPECT_EQ(shade_select_ramp(2), 0);
    EXPECT_EQ(shade_current_ramp(), shade_ramp(2));
    EXPECT_EQ(shade_select_ramp(3), -1);
    EXPECT_EQ(shade_select_ramp(-1), -1);
    EXPECT_EQ(shade_current_ramp(), shade_ramp(2));
    const uint8_t own[RAMP_SIZE] = {};
    shade_use_ramp(own);
    EXPECT_EQ(shade_current_ramp(), own);
    shade_release();
    EXPECT_EQ(shade_current_ramp(), nullptr);
    EXPECT_EQ(shade_select_ramp(0), -1);
}

TEST_F(ShadeTest, FailedAllocationsFailStartUp) {
    // The store, then the second ramp.
    const std::string store_size = std::to_string(RAMP_SLOTS * sizeof(uint8_t*)) + "byte";
    const std::pair<int32_t, std::string> failures[] = {{1, store_size}, {3, "1024byte"}};
    for (const auto& failure : failures) {
        mem_fail_at(failure.first);
        EXPECT_EQ(shade_init(), -1) << failure.first;
        mem_fail_at(0);
        ASSERT_EQ(headless_message_count(), 1);
        EXPECT_EQ(std::string(headless_message(0)).rfind(failure.second, 0), 0u);
        headless_clear_messages();
        shade_release();
    }
    // A ramp that cannot be allocated leaves its slot free.
    ASSERT_EQ(shade_init(), 0);
    mem_fail_at(1);
    EXPECT_EQ(shade_new_ramp(), -1);
    mem_fail_at(0);
    EXPECT_EQ(shade_ramp(3), nullptr);
    EXPECT_EQ(shade_new_ramp(), 3);
    headless_clear_messages();
}

}  // namespace
