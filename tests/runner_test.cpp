// icon_look_headless end to end: options, input scripts, exit codes, the
// start-up and release sequences, screenshots.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> with_prefix(const std::vector<std::string>& lines, const std::string& p) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        if (l.compare(0, p.size(), p) == 0) out.push_back(l);
    }
    return out;
}

const std::vector<std::string> release_order = {
    "release: anim_release",   "release: mouse_release", "release: shape_release_stores",
    "release: shape_tables_release", "release: tex_release", "release: mdl_table_release",
    "release: rb_release",     "release: mtx_release",   "release: shade_release",
    "release: fb_release"};

void expect_release_sequence_once(const std::vector<std::string>& trace) {
    EXPECT_EQ(with_prefix(trace, "release: "), release_order);
}

struct ScriptRun {
    RunResult result;
    std::vector<std::string> trace;
};

ScriptRun run_with_script(const std::string& script, const std::vector<std::string>& extra) {
    std::string events = write_text_file(test_output_path("events.txt"), script);
    std::string trace = test_output_path("trace.txt");
    std::vector<std::string> args = {"--cwd", ICON_LOOK_SOURCE_DIR, "--events", events,
                                     "--trace", trace};
    args.insert(args.end(), extra.begin(), extra.end());
    ScriptRun run;
    run.result = run_headless(args);
    run.trace = lines_of(read_file(trace));
    return run;
}

TEST(Runner, HelpAndBadArguments) {
    RunResult help = run_headless({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("--screenshot"), std::string::npos);

    RunResult unknown = run_headless({"--fast"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_NE(unknown.err.find("unknown option --fast"), std::string::npos);

    EXPECT_EQ(run_headless({"--frames", "-1"}).exit_code, 2);
    EXPECT_EQ(run_headless({"--frames"}).exit_code, 2);
    EXPECT_EQ(run_headless({"--client", "504"}).exit_code, 2);
    EXPECT_EQ(run_headless({"--screenshot", "shot.gif"}).exit_code, 2);
    EXPECT_EQ(run_headless({"--events", test_output_path("missing-events.txt")}).exit_code, 2);
}

TEST(Runner, BadScriptLinesNameTheirLine) {
    struct Case {
        const char* script;
        const char* expected;
    };
    const Case cases[] = {
        {"# fine\n1 move 3 4\n2 jump\n", "line 3: unknown action 'jump'"},
        {"0 ldown\n", "line 1: expected FRAME ACTION"},
        {"1 move 3\n", "line 1: move takes two whole numbers"},
        {"1 keydown F4\n", "line 1: keydown takes one key"},
        {"1 char 300\n", "line 1: char takes a character code"},
        {"1 ldown now\n", "line 1: ldown takes 0 arguments"},
    };
    for (const Case& c : cases) {
        ScriptRun run = run_with_script(c.script, {});
        EXPECT_EQ(run.result.exit_code, 2) << c.script;
        EXPECT_NE(run.result.err.find(c.expected), std::string::npos)
            << c.script << " gave: " << run.result.err;
    }
}

TEST(Runner, EscEndsWithoutTheReleaseSequence) {
    ScriptRun run = run_with_script("# Esc before frame 3\n3 char 27\n", {"--frames", "10"});
    EXPECT_EQ(run.result.exit_code, 0);
    EXPECT_EQ(with_prefix(run.trace, "frame "), (std::vector<std::string>{"frame 1", "frame 2"}));
    EXPECT_TRUE(with_prefix(run.trace, "release: ").empty());
    EXPECT_EQ(run.result.err, "");
}

TEST(Runner, ClosingRunsTheReleaseSequenceOnceInOrder) {
    ScriptRun after_frames = run_with_script("", {"--frames", "3"});
    EXPECT_EQ(after_frames.result.exit_code, 0);
    EXPECT_EQ(with_prefix(after_frames.trace, "frame ").size(), 3u);
    expect_release_sequence_once(after_frames.trace);
    EXPECT_EQ(after_frames.trace.back(), "release: fb_release");

    ScriptRun closed = run_with_script("2 close\n", {"--frames", "10"});
    EXPECT_EQ(closed.result.exit_code, 0);
    EXPECT_EQ(with_prefix(closed.trace, "frame "), std::vector<std::string>{"frame 1"});
    expect_release_sequence_once(closed.trace);
}

TEST(Runner, StartUpRunsInItsOrder) {
    ScriptRun run = run_with_script("", {"--frames", "0"});
    EXPECT_EQ(run.result.exit_code, 0);
    const std::vector<std::string> start_up = {
        "start-up: enter data",       "start-up: fb_init",
        "start-up: shade_init",       "start-up: mtx_init",
        "start-up: rb_init",          "start-up: mdl_table_init",
        "start-up: tex_init",         "start-up: shape_tables_init",
        "start-up: shape_generate",   "start-up: mouse_init",
        "start-up: anim_init",        "start-up: draw_set_surface",
        "start-up: cam_set_screen_centre", "start-up: fb_set_depth",
        "start-up: pool sizes",       "start-up: tex_load",
        "start-up: mdl_load",         "start-up: model scale",
        "start-up: anim_load",        "start-up: mdl_set_bone_flags",
        "start-up: mdl_show",         "start-up: mdl_compute_normals",
        "start-up: model position",   "start-up: rb_convert_colours",
        "start-up: fb_set_clear_colour", "start-up: cam_set_light_colour"};
    EXPECT_EQ(with_prefix(run.trace, "start-up: "), start_up);
    EXPECT_TRUE(with_prefix(run.trace, "frame ").empty());
    EXPECT_EQ(run.result.err, "");  // the shipped data loads without a message
}

TEST(Runner, ScreenshotIsTheDrawableAreaAsA16BitBitmap) {
    std::string shot = test_output_path("shot.bmp");
    RunResult r = run_headless({"--cwd", ICON_LOOK_SOURCE_DIR, "--screenshot", shot});
    ASSERT_EQ(r.exit_code, 0);
    Image16 image;
    ASSERT_TRUE(read_bmp16(shot, &image));
    EXPECT_EQ(image.width, 504);
    EXPECT_EQ(image.height, 468);

    std::string small = test_output_path("small.bmp");
    r = run_headless({"--cwd", ICON_LOOK_SOURCE_DIR, "--client", "320x241", "--screenshot", small});
    ASSERT_EQ(r.exit_code, 0);
    ASSERT_TRUE(read_bmp16(small, &image));
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 240);

    std::string png = test_output_path("shot.png");
    r = run_headless({"--cwd", ICON_LOOK_SOURCE_DIR, "--screenshot", png});
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(png).compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
}

TEST(Runner, AnOddClientWidthDoesNotSkewTheRows) {
    // The surface gets one more column, so the picture is the one of the next
    // even width.
    std::string odd = test_output_path("odd.bmp");
    std::string even = test_output_path("even.bmp");
    std::vector<std::string> common = {"--cwd", ICON_LOOK_SOURCE_DIR, "--frames", "5"};
    std::vector<std::string> a = common, b = common;
    a.insert(a.end(), {"--client", "505x469", "--screenshot", odd});
    b.insert(b.end(), {"--client", "506x469", "--screenshot", even});
    ASSERT_EQ(run_headless(a).exit_code, 0);
    ASSERT_EQ(run_headless(b).exit_code, 0);
    Image16 odd_image, even_image;
    ASSERT_TRUE(read_bmp16(odd, &odd_image));
    ASSERT_TRUE(read_bmp16(even, &even_image));
    EXPECT_EQ(odd_image.width, 506);
    EXPECT_EQ(odd_image.pixels, even_image.pixels);
}

TEST(Runner, BenchRunsUnpacedFramesAndPrintsEveryStage) {
    std::string benched = test_output_path("benched.bmp");
    std::string paced = test_output_path("paced.bmp");
    RunResult bench =
        run_headless({"--cwd", ICON_LOOK_SOURCE_DIR, "--bench", "3", "--screenshot", benched});
    ASSERT_EQ(bench.exit_code, 0) << bench.err;
    EXPECT_NE(bench.out.find("3 frames in "), std::string::npos) << bench.out;
    for (const char* stage : {"clear", "model pass", "ordering-table build", "drawing",
                              "after drawing", "present"}) {
        EXPECT_NE(bench.out.find(std::string("\n") + stage + " "), std::string::npos) << stage;
    }
    // Timing changes nothing drawn.
    ASSERT_EQ(run_headless({"--cwd", ICON_LOOK_SOURCE_DIR, "--frames", "3", "--screenshot", paced})
                  .exit_code,
              0);
    EXPECT_EQ(read_file(benched), read_file(paced));

    EXPECT_EQ(run_headless({"--bench", "0"}).exit_code, 2);
    EXPECT_EQ(run_headless({"--bench", "2", "--frames", "2"}).exit_code, 2);
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
    std::string empty_root = test_output_path("");
    RunResult r = run_headless({"--cwd", empty_root, "--frames", "3"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.err.find("Error: ファイル[tes256.bmp]が見つかりません"), std::string::npos) << r.err;
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
