// The shipped data drawn by the headless viewer, compared pixel for pixel with
// committed frames (tests/golden; scripts/update-golden.sh rewrites them).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct GoldenCase {
    std::string name;
    std::string frames;
    std::string events;
};

std::vector<GoldenCase> golden_cases() {
    std::vector<GoldenCase> cases;
    std::ifstream list(std::string(ICON_LOOK_SOURCE_DIR) + "/tests/golden/cases.txt");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        GoldenCase c;
        words >> c.name >> c.frames >> c.events;
        cases.push_back(c);
    }
    return cases;
}

TEST(Golden, ShippedDataFramesMatchPixelForPixel) {
    std::vector<GoldenCase> cases = golden_cases();
    ASSERT_GE(cases.size(), 4u);
    const std::string golden_dir = std::string(ICON_LOOK_SOURCE_DIR) + "/tests/golden/";
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string shot = test_output_path(c.name + ".bmp");
        std::vector<std::string> args = {"--cwd", ICON_LOOK_SOURCE_DIR, "--frames", c.frames,
                                         "--screenshot", shot};
        if (c.events != "-") {
            args.push_back("--events");
            args.push_back(golden_dir + c.events);
        }
        RunResult r = run_headless(args);
        ASSERT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        Image16 expected, actual;
        ASSERT_TRUE(read_bmp16(golden_dir + c.name + ".bmp", &expected));
        ASSERT_TRUE(read_bmp16(shot, &actual));
        ASSERT_EQ(actual.width, expected.width);
        ASSERT_EQ(actual.height, expected.height);
        int differing = 0;
        int first_x = -1, first_y = -1;
        for (int y = 0; y < actual.height; y++) {
            for (int x = 0; x < actual.width; x++) {
                if (actual.at(x, y) != expected.at(x, y)) {
                    if (differing++ == 0) {
                        first_x = x;
                        first_y = y;
                    }
                }
            }
        }
        EXPECT_EQ(differing, 0) << "first at (" << first_x << ", " << first_y << "); frame kept in "
                                << shot;
    }
}

TEST(Golden, FramesShowTheLitTexturedFigure) {
    // Guards the golden frames themselves: a figure of many shades over the
    // black clear colour, never a blank frame.
    Image16 image;
    ASSERT_TRUE(read_bmp16(std::string(ICON_LOOK_SOURCE_DIR) + "/tests/golden/start.bmp", &image));
    int lit = 0;
    std::vector<bool> shades(32768, false);
    int distinct = 0;
    for (uint16_t p : image.pixels) {
        if (p != 0) lit++;
        if (!shades[p & 0x7FFF]) {
            shades[p & 0x7FFF] = true;
            distinct++;
        }
        EXPECT_EQ(p & 0x8000, 0);
    }
    EXPECT_GT(lit, image.width * image.height / 20);
    EXPECT_GT(distinct, 100);
}

}  // namespace
