#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "files/anim.h"
#include "model/model.h"
#include "platform/headless.h"
#include "shell/memory.h"
#include "shell/messages.h"
#include "tests/test_support.h"

namespace {

using Records = std::vector<std::string>;
std::string section(const char* name, const char* types, const Records& records) {
    std::string text = std::string(name) + "\n" + types + "\n";
    for (const std::string& r : records) text += r + "\n";
    return text + "END_SEC:\n";
}
std::string head(const std::string& values) { return section("SEC_ANIM_HEAD:", "IIII", {values}); }
std::string seek(const Records& keys) { return section("SEC_ANIM_SEEK:", "IIIIV", keys); }
std::string dat(const Records& poses) { return section("SEC_ANIM_DAT:", "V", poses); }

// A file of the three sections: the head record, one seek record per
// keyframe and one data record per bone and pose.
std::string anim_file(const std::string& values, const Records& keys, const Records& poses) {
    return head(values) + seek(keys) + dat(poses);
}

// One bone: keyframe 0 reaches 0 degrees in 10 frames, keyframe 1 reaches 90
// degrees in 4 frames, and the ring closes.
const std::string EXAMPLE =
    anim_file("2 0 1 2", {"10 0 1 0 0 0 0 0", "4 0 0 1 0 0 0 0"}, {"0 0 0 0", "90 0 0 0"});

class AnimTest : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        ASSERT_EQ(mdl_table_init(), 0);
        ASSERT_EQ(anim_init(), 0);
    }
    void TearDown() override {
        mem_fail_at(0);
        anim_release();
        mdl_table_release();
        FileTest::TearDown();
    }
    // A model of `bones` bones whose rotations start at (7, 7, 7, 7).
    int32_t model(int32_t bones) {
        int32_t slot = mdl_create(bones);
        for (int32_t b = 0; b < bones; b++) {
            mdl_add_bone(slot, 0, 0, 0);
            *mdl_bone_rotation(slot, b) = Vec4{7, 7, 7, 7};
        }
        return slot;
    }
    int32_t load(const std::string& text, int32_t slot) {
        write_text_file("an.txt", text);
        return anim_load("an.txt", slot);
    }
    // A one-bone model with `text` loaded for it.
    int32_t loaded(const std::string& text) {
        const int32_t slot = model(1);
        EXPECT_EQ(load(text, slot), slot);
        return slot;
    }
    // The x rotations written by `steps` steps of bone 0.
    std::vector<int32_t> play(int32_t slot, int32_t steps) {
        std::vector<int32_t> written;
        for (int32_t i = 0; i < steps; i++) {
            anim_step(slot);
            written.push_back(mdl_bone_rotation(slot, 0)->x);
        }
        return written;
    }
};

std::vector<int32_t> xyzw(const Vec4& v) { return {v.x, v.y, v.z, v.w}; }

TEST_F(AnimTest, ExampleStepByStep) {
    const int32_t slot = loaded(EXAMPLE);
    EXPECT_TRUE(shown_messages().empty());
    AnimSet* set = anim_get(slot);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->slot, slot);
    EXPECT_EQ(set->frame_counter, 9999);
    EXPECT_EQ(set->current, 0);
    EXPECT_EQ(*mdl_flags(slot), MODEL_HIDDEN);
    // Towards 90 degrees (256) by t = 256, 512, 768; back over ten steps with
    // t = 102, 204, 307, ... and the delta -256 shifted right by 10 (floor).
    const std::vector<int32_t> expected = {0,   64,  128, 192, 256, 230, 205, 179,
                                           153, 128, 102, 77,  51,  25,  0,   64};
    EXPECT_EQ(play(slot, 16), expected);
    // y, z are written, w is left alone.
    EXPECT_EQ(xyzw(*mdl_bone_rotation(slot, 0)), (std::vector<int32_t>{64, 0, 0, 7}));
}

TEST_F(AnimTest, DeltasFoldOnceTheShortWayRound) {
    Vec4 deltas[2] = {{0, 0, 0, 99}, {0, 0, 0, 99}};
    const Vec4 from[2] = {{1000, 0, 0, 0}, {20, 512, 513, 0}};
    const Vec4 to[2] = {{20, 512, 513, 5}, {1000, 0, 0, 5}};
    anim_set_deltas(deltas, from, to, 2);
    // x goes forward through 1023 and 0; w is left alone.
    EXPECT_EQ(xyzw(deltas[0]), (std::vector<int32_t>{44, 512, -511, 99}));
    EXPECT_EQ(xyzw(deltas[1]), (std::vector<int32_t>{-44, -512, 511, 99}));
    // Only one fold: angles more than a turn apart keep the rest.
    const Vec4 far = {3000, 0, 0, 0};
    const Vec4 zero = {0, 0, 0, 0};
    anim_set_deltas(deltas, &zero, &far, 1);
    EXPECT_EQ(deltas[0].x, 1976);
}

TEST_F(AnimTest, DegreesTruncateThroughTheFloatConstant) {
    const struct {
        float degrees;
        int32_t angle;
    } cases[] = {{90, 256},   {45, 128}, {360, 1024},         {1, 2},
                 {-1, -2},    {1.9f, 5}, {-1.9f, -5},         {720, 2048},
                 {-90, -256}, {0.3f, 0}, {7.5e8f, 2133333384}};
    for (const auto& c : cases) {
        int32_t angle = 0;
        EXPECT_TRUE(anim_degrees_to_angle(c.degrees, &angle)) << c.degrees;
        EXPECT_EQ(angle, c.angle) << c.degrees;
    }
    for (float beyond : {std::nanf(""), 7.6e8f, -7.6e8f, INFINITY}) {
        int32_t angle = 0;
        EXPECT_FALSE(anim_degrees_to_angle(beyond, &angle)) << beyond;
    }

    // Loaded values are stored as converted, fourth value included; the bones
    // get them wrapped to 0..1023.
    const int32_t slot = model(2);
    const std::string text =
        anim_file("1 0 2 1", {"1 0 0 0 1.9 -1.9 0 0"}, {"90 1.9 -1.9 720", "45 1 -1 -90"});
    ASSERT_EQ(load(text, slot), slot);
    AnimSet* set = anim_get(slot);
    const Vec4* pose = anim_rotations(set);
    EXPECT_EQ(xyzw(pose[0]), (std::vector<int32_t>{256, 5, -5, 2048}));
    EXPECT_EQ(xyzw(pose[1]), (std::vector<int32_t>{128, 2, -2, -256}));
    EXPECT_EQ(anim_keys(set)[0].extra[0], 1);
    EXPECT_EQ(anim_keys(set)[0].extra[1], -1);
    anim_step(slot);
    EXPECT_EQ(xyzw(*mdl_bone_rotation(slot, 1)), (std::vector<int32_t>{128, 2, 1022, 7}));
}

TEST_F(AnimTest, KeyframeDurationsAndTheEndOfTheRing) {
    const struct {
        const char* what;
        std::string text;
        std::vector<int32_t> x;  // bone 0's x rotation after each step
        int32_t current, counter;  // keyframe moved towards, and its counter, afterwards
    } cases[] = {
        {"a duration of zero or less takes one step",
         anim_file("3 0 1 3", {"0 0 1 0 0 0 0 0", "0 0 2 1 0 0 0 0", "-5 0 0 2 0 0 0 0"},
                   {"0 0 0 0", "90 0 0 0", "45 0 0 0"}),
         {0, 256, 128, 0, 256, 128, 0}, 1, 1},
        {"a keyframe without a successor ends on its pose",
         anim_file("2 0 1 2", {"1 0 1 0 0 0 0 0", "2 0 -1 1 0 0 0 0"}, {"0 0 0 0", "90 0 0 0"}),
         {0, 128, 256, 256, 256, 256, 256, 256}, -1, 0},
        // Keyframe 0's pose is the base until the counter (from 9999) reaches 20000.
        {"a first keyframe longer than the start counter",
         anim_file("1 0 1 1", {"20000 0 0 0 0 0 0 0"}, {"90 0 0 0"}), {256, 256}, 0, 10001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t slot = loaded(c.text);
        EXPECT_EQ(play(slot, static_cast<int32_t>(c.x.size())), c.x);
        EXPECT_EQ(anim_get(slot)->current, c.current);
        EXPECT_EQ(anim_get(slot)->frame_counter, c.counter);
        anim_free(slot);
        mdl_free(slot);
    }
}

TEST_F(AnimTest, UntrustedFilesAreRefused) {
    const std::string key = "1 0 0 0 0 0 0 0";
    const std::string pose = "0 0 0 0";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"more keyframes than K", anim_file("1 0 1 1", {key, key}, {pose})},
        {"more pose records than P x B", anim_file("1 0 1 1", {key}, {pose, pose})},
        {"pose index past P", anim_file("1 0 1 2", {"1 0 0 2 0 0 0 0"}, {pose})},
        {"negative pose index", anim_file("1 0 1 2", {"1 0 0 -1 0 0 0 0"}, {pose})},
        {"next past the keyframes", anim_file("2 0 1 1", {"1 0 2 0 0 0 0 0"}, {pose})},
        {"next below -1", anim_file("1 0 1 1", {"1 0 -2 0 0 0 0 0"}, {pose})},
        {"next naming a keyframe without a record",
         anim_file("3 0 1 1", {"1 0 1 0 0 0 0 0", "1 0 2 0 0 0 0 0"}, {pose})},
        {"an infinite angle", anim_file("1 0 1 1", {key}, {"0 1e39 0 0"})},
        {"an angle beyond 32 bits", anim_file("1 0 1 1", {key}, {"0 0 -7.6e8 0"})},
        {"a keyframe value beyond 32 bits", anim_file("1 0 1 1", {"1 0 0 0 0 0 3e9 0"}, {pose})},
        {"B larger than the model's bones", anim_file("1 0 3 1", {key}, {pose})},
        {"no keyframes", anim_file("0 0 1 1", {key}, {pose})},
        {"no bones", anim_file("1 0 0 1", {key}, {pose})},
        {"negative pose count", anim_file("1 0 1 -1", {key}, {pose})},
        {"a set larger than the working block", anim_file("1 0 1 18429", {key}, {pose})},
        // The fourth value would be read from the section after it.
        {"a head with three values",
         section("SEC_ANIM_HEAD:", "III", {"1 0 1"}) + seek({key}) + dat({pose})},
        {"a seek record of four values",
         head("1 0 1 1") + section("SEC_ANIM_SEEK:", "IIII", {"1 0 0 0"}) + dat({pose})},
        {"seek before head", seek({key}) + head("1 0 1 1") + dat({pose})},
        {"data before seek", head("1 0 1 1") + dat({pose}) + seek({key})},
        {"a second head", head("1 0 1 1") + anim_file("1 0 1 1", {key}, {pose})},
        {"no data section", head("1 0 1 1") + seek({key})},
        {"no seek section", head("1 0 1 1") + dat({pose})},
        {"no head section", seek({key}) + dat({pose})},
        {"no sections", "// nothing here\n"},
    };
    const int32_t slot = model(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A good set first: the failed load still replaces it.
        ASSERT_EQ(load(EXAMPLE, slot), slot);
        ASSERT_EQ(mdl_show(slot), 0);
        headless_clear_messages();
        EXPECT_EQ(load(c.text, slot), -1);
        EXPECT_EQ(anim_get(slot), nullptr);
        EXPECT_EQ(shown_messages(),
                  std::vector<std::string>{message_with(MSG_FILE_PARSE_FAILED, "an.txt")});
        // The model is left shown, and standing still.
        EXPECT_EQ(*mdl_flags(slot), 0u);
        anim_step(slot);
        EXPECT_EQ(mdl_bone_rotation(slot, 0)->x, 7);
    }
}

TEST_F(AnimTest, LargestSetFillsTheWorkingBlockExactly) {
    // 32 + 32 + (18428 + 2) x 16 = 294944 bytes; keyframe 0 names the last pose.
    const int32_t slot = loaded(anim_file("1 0 1 18428", {"1 0 0 18427 0 0 0 0"}, {"90 0 0 0"}));
    EXPECT_TRUE(shown_messages().empty());
    AnimSet* set = anim_get(slot);
    EXPECT_EQ(set->base_pose, 18428);
    EXPECT_EQ(set->deltas, 18429);
    EXPECT_EQ(play(slot, 3), (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(AnimTest, ReadingFailuresShowOnlyTheirOwnMessages) {
    const int32_t slot = model(1);
    EXPECT_EQ(anim_load("missing.txt", slot), -1);
    EXPECT_EQ(shown_messages(),
              std::vector<std::string>{message_with(MSG_FILE_NOT_FOUND, "missing.txt")});

    headless_clear_messages();
    EXPECT_EQ(load(head("1 0 x 1"), slot), -1);
    EXPECT_EQ(shown_messages(),
              (std::vector<std::string>{bad_record_message("SEC_ANIM_HEAD:", 1),
                                        message_with(MSG_FILE_PARSE_FAILED, "an.txt")}));

    // The working block is the third allocation: text, section image, block.
    headless_clear_messages();
    write_text_file("an.txt", EXAMPLE);
    mem_fail_at(3);
    EXPECT_EQ(anim_load("an.txt", slot), -1);
    mem_fail_at(0);
    EXPECT_EQ(shown_messages(),
              std::vector<std::string>{message_with(MSG_ALLOC_FAILED, ANIM_WORK_SIZE)});
    EXPECT_EQ(anim_get(slot), nullptr);
    EXPECT_EQ(*mdl_flags(slot), 0u);
}

TEST_F(AnimTest, SlotsAndTheirModels) {
    const int32_t slot = model(1);
    write_text_file("an.txt", EXAMPLE);
    // No model in the slot, or a slot outside the table (a failed model load's
    // result): nothing is kept, but a file that cannot be read still says so.
    for (int32_t other : {slot + 1, 32, -1}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(anim_load("an.txt", other), -1);
        EXPECT_TRUE(shown_messages().empty());
        EXPECT_EQ(anim_load("missing.txt", other), -1);
        EXPECT_EQ(shown_messages(),
                  std::vector<std::string>{message_with(MSG_FILE_NOT_FOUND, "missing.txt")});
        headless_clear_messages();
    }
    EXPECT_EQ(anim_get(slot + 1), nullptr);

    // Other sections are skipped.
    ASSERT_EQ(load("SEC_OTHER: I 5 END_SEC:\n" + EXAMPLE, slot), slot);
    EXPECT_EQ(anim_free(slot), 0);
    EXPECT_EQ(anim_free(slot), 1);
    EXPECT_EQ(anim_free(32), -1);
    anim_step(slot);  // empty: nothing written
    EXPECT_EQ(mdl_bone_rotation(slot, 0)->x, 7);

    // A set whose model lost its bones stops driving it.
    ASSERT_EQ(load(EXAMPLE, slot), slot);
    mdl_free(slot);
    ASSERT_EQ(model(0), slot);
    anim_step(slot);
    anim_release();
    EXPECT_EQ(anim_get(slot), nullptr);
    anim_step(slot);
}

}  // namespace
