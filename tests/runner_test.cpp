// icon_look_headless end to end: options, input scripts, exit codes, the
// start-up and release sequences, screenshots.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Runs the viewer on the shipped data with the given further arguments.
RunResult run_shipped(std::vector<std::string> args) {
    args.insert(args.begin(), {"--cwd", ICON_LOOK_SOURCE_DIR});
    return run_headless(args);
}

struct ScriptRun {
    RunResult result;
    std::vector<std::string> trace;
    std::vector<std::string> traced(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& l : trace) {
            if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
        }
        return out;
    }
};

std::vector<std::string> lines_of(const std::string& path) {
    std::istringstream text(read_file(path));
    std::vector<std::string> lines;
    for (std::string l; std::getline(text, l);) lines.push_back(l);
    return lines;
}

ScriptRun run_with_script(const std::string& script, std::vector<std::string> extra) {
    const std::string trace = test_output_path("trace.txt");
    const std::string events = write_text_file(test_output_path("events.txt"), script);
    extra.insert(extra.begin(), {"--events", events, "--trace", trace});
    ScriptRun run;
    run.result = run_shipped(extra);
    run.trace = lines_of(trace);
    return run;
}

Image16 screenshot_of(const std::vector<std::string>& args, const std::string& name) {
    const std::string shot = test_output_path(name);
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--screenshot", shot});
    Image16 image;
    EXPECT_EQ(run_shipped(all).exit_code, 0) << name;
    EXPECT_TRUE(read_bmp16(shot, &image)) << name;
    return image;
}

TEST(Runner, HelpAndBadArguments) {
    RunResult help = run_headless({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("--screenshot"), std::string::npos);

    RunResult unknown = run_headless({"--fast"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_NE(unknown.err.find("unknown option --fast"), std::string::npos);

    const std::vector<std::vector<std::string>> refused = {
        {"--frames", "-1"}, {"--frames"}, {"--client", "504"}, {"--screenshot", "shot.gif"},
        {"--events", test_output_path("missing-events.txt")}, {"--bench", "0"},
        {"--bench", "2", "--frames", "2"},
        // Sizes that only overflow, or spaces and signs, into a size in range.
        {"--client", "4294967800x469"}, {"--client", "-4294966792x469"}, {"--client", "+504x469"},
        {"--client", "504x 469"}, {"--client", " 504x469"}, {"--client", "504x469x"},
        // A directory is no events file; a period past any run.
        {"--events", test_output_path("")}, {"--repeat-events", "9223372036854775807"},
        {"--screenshot", "/" + std::string(5000, 'a') + ".png"}};
    for (const auto& args : refused) {
        EXPECT_EQ(run_headless(args).exit_code, 2) << args[0] << " " << args.back().substr(0, 40);
    }
}

// The exit code says when a screenshot or trace asked for was not written.
TEST(Runner, AnOutputNotWrittenFailsTheRun) {
    const std::vector<std::vector<std::string>> unwritten = {
        {"--screenshot", test_output_path("no-such-dir/shot.png")},
        {"--frames", "0", "--screenshot", test_output_path("none.png")}};
    for (const auto& args : unwritten) {
        RunResult r = run_shipped(args);
        EXPECT_EQ(r.exit_code, 4) << args.back();
        EXPECT_NE(r.err.find("screenshot"), std::string::npos) << r.err;
    }
    ScriptRun closed = run_with_script(
        "1 close\n", {"--screenshot", test_output_path("closed-at-once.png")});
    EXPECT_EQ(closed.result.exit_code, 4);
    RunResult full = run_shipped({"--frames", "2", "--trace", "/dev/full"});
    EXPECT_EQ(full.exit_code, 4);
    EXPECT_NE(full.err.find("trace"), std::string::npos) << full.err;
}

TEST(Runner, EventsAtOneFrameAreLimitedToWhatTheQueueHolds) {
    std::string many;
    for (int i = 0; i < 256; i++) many += "1 move 5 5\n";
    // The Esc after them is not lost: it ends the run before frame 2.
    ScriptRun run = run_with_script(many + "2 char 27\n", {"--frames", "3"});
    EXPECT_EQ(run.result.exit_code, 0);
    EXPECT_EQ(run.traced("frame "), (std::vector<std::string>{"frame 1"}));
    run = run_with_script(many + "1 char 27\n", {});
    EXPECT_EQ(run.result.exit_code, 2);
    EXPECT_NE(run.result.err.find("line 257: more than 256 events at frame 1"), std::string::npos)
        << run.result.err;
}

TEST(Runner, BadScriptLinesNameTheirLine) {
    const char* const cases[][2] = {
        {"# fine\n1 move 3 4\n2 jump\n", "line 3: unknown action 'jump'"},
        {"0 ldown\n", "line 1: expected FRAME ACTION"},
        {"1 move 3\n", "line 1: move takes two whole numbers"},
        {"1 keydown F4\n", "line 1: keydown takes one key"},
        {"1 char 300\n", "line 1: char takes a character code"},
        {"1 ldown now\n", "line 1: ldown takes 0 arguments"},
    };
    for (const auto& c : cases) {
        ScriptRun run = run_with_script(c[0], {});
        EXPECT_EQ(run.result.exit_code, 2) << c[0];
        EXPECT_NE(run.result.err.find(c[1]), std::string::npos) << c[0] << ": " << run.result.err;
    }
}

TEST(Runner, EscEndsWithoutTheReleaseSequence) {
    ScriptRun run = run_with_script("# Esc before frame 3\n3 char 27\n", {"--frames", "10"});
    EXPECT_EQ(run.result.exit_code, 0);
    EXPECT_EQ(run.traced("frame "), (std::vector<std::string>{"frame 1", "frame 2"}));
    EXPECT_TRUE(run.traced("release: ").empty());
    EXPECT_EQ(run.result.err, "");
}

const std::vector<std::string> release_order = {
    "release: anim_release", "release: mouse_release", "release: shape_release_stores",
    "release: shape_tables_release", "release: tex_release", "release: mdl_table_release",
    "release: rb_release", "release: mtx_release", "release: shade_release",
    "release: fb_release"};

std::vector<std::string> start_up_order() {
    std::vector<std::string> start_up;
    for (const char* step :
         {"enter data", "fb_init", "shade_init", "mtx_init", "rb_init", "mdl_table_init",
          "tex_init", "shape_tables_init", "shape_generate", "mouse_init", "anim_init",
          "draw_set_surface", "cam_set_screen_centre", "fb_set_depth", "pool sizes", "tex_load",
          "mdl_load", "model scale", "anim_load", "mdl_set_bone_flags", "mdl_show",
          "mdl_compute_normals", "model position", "rb_convert_colours", "fb_set_clear_colour",
          "cam_set_light_colour"}) {
        start_up.push_back(std::string("start-up: ") + step);
    }
    return start_up;
}

TEST(Runner, ClosingRunsTheReleaseSequenceOnceInOrder) {
    ScriptRun after_frames = run_with_script("", {"--frames", "3"});
    EXPECT_EQ(after_frames.result.exit_code, 0);
    EXPECT_EQ(after_frames.traced("frame ").size(), 3u);
    EXPECT_EQ(after_frames.traced("release: "), release_order);
    EXPECT_EQ(after_frames.trace.back(), "release: fb_release");

    ScriptRun closed = run_with_script("2 close\n", {"--frames", "10"});
    EXPECT_EQ(closed.result.exit_code, 0);
    EXPECT_EQ(closed.traced("frame "), std::vector<std::string>{"frame 1"});
    EXPECT_EQ(closed.traced("release: "), release_order);
}

TEST(Runner, ScreenshotIsTheDrawableAreaAsA16BitBitmap) {
    Image16 image = screenshot_of({}, "shot.bmp");
    EXPECT_EQ(image.width, 504);
    EXPECT_EQ(image.height, 468);
    image = screenshot_of({"--client", "320x241"}, "small.bmp");
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 240);

    std::string png = test_output_path("shot.png");
    ASSERT_EQ(run_shipped({"--screenshot", png}).exit_code, 0);
    EXPECT_EQ(read_file(png).compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
}

TEST(Runner, AnOddClientWidthDoesNotSkewTheRows) {
    // The surface gets one more column, so the picture is the one of the next
    // even width, as much of it as the window shows: the same whether the run
    // ends by its frame count, by Esc or by closing (when the frame buffer is
    // gone and only the window's copy is left).
    Image16 even = screenshot_of({"--frames", "5", "--client", "506x469"}, "even.bmp");
    ASSERT_EQ(even.width, 506);
    for (const char* end : {"", "6 char 27\n", "6 close\n"}) {
        const std::string shot = test_output_path("odd.bmp");
        std::remove(shot.c_str());
        ScriptRun run = run_with_script(end, {"--frames", *end != '\0' ? "9" : "5", "--client",
                                              "505x469", "--screenshot", shot});
        EXPECT_EQ(run.result.exit_code, 0) << end;
        Image16 odd;
        ASSERT_TRUE(read_bmp16(shot, &odd)) << end;
        ASSERT_EQ(odd.width, 505) << end;
        ASSERT_EQ(odd.height, even.height) << end;
        for (int y = 0; y < odd.height; y++) {
            const auto row = even.pixels.begin() + static_cast<ptrdiff_t>(y) * even.width;
            ASSERT_TRUE(std::equal(row, row + odd.width,
                                   odd.pixels.begin() + static_cast<ptrdiff_t>(y) * odd.width))
                << end << " row " << y;
        }
    }
}

TEST(Runner, BenchRunsUnpacedFramesAndPrintsEveryStage) {
    std::string benched = test_output_path("benched.bmp");
    std::string paced = test_output_path("paced.bmp");
    RunResult bench = run_shipped({"--bench", "3", "--screenshot", benched});
    ASSERT_EQ(bench.exit_code, 0) << bench.err;
    EXPECT_NE(bench.out.find("3 frames in "), std::string::npos) << bench.out;
    for (const char* stage : {"clear", "model pass", "ordering-table build", "drawing",
                              "after drawing", "present"}) {
        EXPECT_NE(bench.out.find(std::string("\n") + stage + " "), std::string::npos) << stage;
    }
    // Timing changes nothing drawn.
    ASSERT_EQ(run_shipped({"--frames", "3", "--screenshot", paced}).exit_code, 0);
    EXPECT_EQ(read_file(benched), read_file(paced));
}

TEST(Runner, RepeatedScriptsComeBackEveryPeriod) {
    // Two drags to the right, each ending where the next begins: once by the
    // period, once written out.
    const std::string drag = "1 move 100 100\n1 ldown\n2 move 110 100\n3 lup\n3 move 100 100\n";
    const std::string twice = drag + "4 ldown\n5 move 110 100\n6 lup\n6 move 100 100\n";
    Image16 images[3];
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {drag, {"--repeat-events", "3"}}, {twice, {}}, {drag, {}}};
    for (size_t i = 0; i < runs.size(); i++) {
        const std::string shot = test_output_path("drag" + std::to_string(i) + ".bmp");
        std::vector<std::string> extra = {"--frames", "6", "--screenshot", shot};
        extra.insert(extra.end(), runs[i].second.begin(), runs[i].second.end());
        ASSERT_EQ(run_with_script(runs[i].first, extra).result.exit_code, 0) << i;
        ASSERT_TRUE(read_bmp16(shot, &images[i])) << i;
    }
    EXPECT_EQ(images[0].pixels, images[1].pixels);
    EXPECT_NE(images[0].pixels, images[2].pixels);

    ScriptRun beyond = run_with_script(drag, {"--repeat-events", "2"});
    EXPECT_EQ(beyond.result.exit_code, 2);
    EXPECT_NE(beyond.result.err.find("frame 1 to P"), std::string::npos) << beyond.result.err;
    EXPECT_EQ(run_with_script(drag, {"--repeat-events", "0"}).result.exit_code, 2);
}

TEST(Runner, MissingDataShowsMessagesButRunsAndEndsCleanly) {
    RunResult r = run_headless({"--cwd", test_output_path(""), "--frames", "3"});
    EXPECT_EQ(r.exit_code, 0);
    // Each file says it is missing, the animation too though no model came to drive.
    EXPECT_EQ(r.err, "Error: ファイル[tes256.bmp]が見つかりません\n"
                     "Error: ファイル[mdt.txt]が見つかりません\n"
                     "Error: ファイル[an.txt]が見つかりません\n");

    // Closed while a start-up box is up, as another program may ask: start-up
    // ends first, then the window closes and releases once.
    const std::string trace = test_output_path("closed-in-box.txt");
    for (const char* box : {"1", "2", "3"}) {
        SCOPED_TRACE(box);
        RunResult closed = run_headless({"--cwd", test_output_path(""), "--frames", "3",
                                         "--close-during-box", box, "--trace", trace});
        EXPECT_EQ(closed.exit_code, 0);
        EXPECT_EQ(closed.err, r.err);
        std::vector<std::string> expected = start_up_order();
        expected.insert(expected.end(), release_order.begin(), release_order.end());
        EXPECT_EQ(lines_of(trace), expected);  // and no frame
    }
    EXPECT_EQ(run_headless({"--close-during-box", "0"}).exit_code, 2);
}

// The shipped data with a texture whose width the table does not take: the
// texture is named as the file that cannot be read. (Without it the model's
// files are read by the reader of models that name their own textures, which
// finds no texture coordinates in them.)
TEST(Runner, ATextureOfASizeNotTakenIsNamed) {
    namespace fs = std::filesystem;
    const fs::path data = fs::path(test_output_path("texture-size")) / "data";
    fs::remove_all(data);
    fs::create_directories(data);
    fs::copy(fs::path(ICON_LOOK_SOURCE_DIR) / "data", data, fs::copy_options::recursive);
    std::fstream bitmap(data / "tes256.bmp", std::ios::in | std::ios::out | std::ios::binary);
    const char width[4] = {100, 0, 0, 0};
    bitmap.seekp(18).write(width, sizeof width);
    bitmap.close();

    RunResult r = run_headless({"--cwd", data.parent_path().string(), "--frames", "2"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "Error: ファイル[tes256.bmp]の解析に失敗しました。\n"
                     "Error: ファイル[pelvis.obj]の解析に失敗しました。\n");
}

#ifdef ICON_LOOK_WINDOW
TEST(WindowProgram, WithoutADisplaySaysSoInOneLineAndFails) {
    std::string err = test_output_path("window.err");
    std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '") +
                          ICON_LOOK_WINDOW + "' > /dev/null 2> '" + err + "'";
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    std::string text = read_file(err);
    EXPECT_EQ(text.find("icon_look: no display"), 0u) << text;
    EXPECT_NE(text.find("icon_look_headless"), std::string::npos);
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line: " << text;
}
#endif

}  // namespace
