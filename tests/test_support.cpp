#include "test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/headless.h"
#include "shell/memory.h"
#include "shell/messages.h"

namespace {

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

}  // namespace

std::string test_output_path(const std::string& name) {
    // One directory per test, so tests running in parallel never share a file.
    std::string dir = std::string(ICON_LOOK_BINARY_DIR) + "/test-output";
    mkdir(dir.c_str(), 0755);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != nullptr) {
        std::string own = std::string(test->test_suite_name()) + "." + test->name();
        for (char& c : own) {
            if (c == '/') c = '_';
        }
        dir += "/" + own;
        mkdir(dir.c_str(), 0755);
    }
    return dir + "/" + name;
}

std::string write_text_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

RunResult run_headless(const std::vector<std::string>& args) {
    static int counter = 0;
    std::string base = test_output_path("run-" + std::to_string(getpid()) + "-" +
                                        std::to_string(counter++));
    std::string command = quote(ICON_LOOK_HEADLESS);
    for (const std::string& a : args) command += " " + quote(a);
    command += " >" + quote(base + ".out") + " 2>" + quote(base + ".err");
    int status = system(command.c_str());
    RunResult r;
    if (status != -1 && WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    r.out = read_file(base + ".out");
    r.err = read_file(base + ".err");
    remove((base + ".out").c_str());
    remove((base + ".err").c_str());
    return r;
}

bool read_bmp16(const std::string& path, Image16* image) {
    std::string d = read_file(path);
    auto byte = [&](size_t o) { return static_cast<uint32_t>(static_cast<uint8_t>(d[o])); };
    auto u16 = [&](size_t o) { return byte(o) | (byte(o + 1) << 8); };
    auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
    if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') return false;
    const size_t offset = u32(10);
    const int32_t w = static_cast<int32_t>(u32(18));
    const int32_t h = static_cast<int32_t>(u32(22));
    if (u16(28) != 16 || w <= 0 || h <= 0) return false;
    const size_t row_bytes = (static_cast<size_t>(w) * 2 + 3) & ~static_cast<size_t>(3);
    if (d.size() < offset + row_bytes * static_cast<size_t>(h)) return false;
    image->width = w;
    image->height = h;
    image->pixels.clear();
    for (int y = h - 1; y >= 0; y--) {  // rows are stored bottom up
        const size_t row = offset + row_bytes * static_cast<size_t>(y);
        for (size_t x = 0; x < static_cast<size_t>(w); x++) {
            image->pixels.push_back(static_cast<uint16_t>(u16(row + 2 * x)));
        }
    }
    return true;
}

std::vector<std::string> shown_messages() {
    std::vector<std::string> all;
    for (int i = 0; i < headless_message_count(); i++) all.push_back(headless_message(i));
    return all;
}

namespace {

template <class... Fields>
std::string formatted(const char* format, Fields... fields) {
    char text[512];
    snprintf(text, sizeof text, format, fields...);
    return text;
}

}  // namespace

std::string message_with(const char* format, const std::string& name) {
    return formatted(format, name.c_str());
}

std::string message_with(const char* format, int value) {
    return formatted(format, value);
}

std::string bad_record_message(const std::string& section, int record) {
    return formatted(MSG_BAD_RECORD, section.c_str(), record);
}

void FileTest::SetUp() {
    headless_print_messages(false);
    headless_clear_messages();
    mem_fail_at(0);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_directory_ = here;
    ASSERT_EQ(chdir(test_output_path("").c_str()), 0);
}

void FileTest::TearDown() {
    mem_fail_at(0);
    EXPECT_EQ(chdir(previous_directory_.c_str()), 0);
}
