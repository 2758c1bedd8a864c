// The shipped data drawn by the headless viewer, compared pixel for pixel with
// committed frames (tests/golden; scripts/update-golden.sh rewrites them).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string golden_dir = std::string(ICON_LOOK_SOURCE_DIR) + "/tests/golden/";

TEST(Golden, ShippedDataFramesMatchPixelForPixel) {
    std::ifstream list(golden_dir + "cases.txt");
    int cases = 0;
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') continue;
        cases++;
        std::string name, frames, events;
        std::istringstream(line) >> name >> frames >> events;
        SCOPED_TRACE(name);
        std::string shot = test_output_path(name + ".bmp");
        std::vector<std::string> args = {"--cwd", ICON_LOOK_SOURCE_DIR, "--frames", frames,
                                         "--screenshot", shot};
        if (events != "-") args.insert(args.end(), {"--events", golden_dir + events});
        RunResult r = run_headless(args);
        ASSERT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        Image16 expected, actual;
        ASSERT_TRUE(read_bmp16(golden_dir + name + ".bmp", &expected));
        ASSERT_TRUE(read_bmp16(shot, &actual));
        ASSERT_EQ(actual.width, expected.width);
        ASSERT_EQ(actual.height, expected.height);
        const auto& got = actual.pixels;
        const size_t first = static_cast<size_t>(
            std::mismatch(got.begin(), got.end(), expected.pixels.begin()).first - got.begin());
        EXPECT_EQ(first, got.size()) << "differs first at (" << first % actual.width << ", "
                                     << first / actual.width << "); frame kept in " << shot;
    }
    EXPECT_GE(cases, 4);
}

TEST(Golden, FramesShowTheLitTexturedFigure) {
    // Guards the golden frames themselves: a figure of many shades over the
    // black clear colour, never a blank frame.
    Image16 image;
    ASSERT_TRUE(read_bmp16(golden_dir + "start.bmp", &image));
    int lit = 0;
    std::set<uint16_t> shades;
    for (uint16_t p : image.pixels) {
        lit += p != 0;
        shades.insert(p);
        EXPECT_EQ(p & 0x8000, 0);
    }
    EXPECT_GT(lit, image.width * image.height / 20);
    EXPECT_GT(shades.size(), 100u);
}

}  // namespace
