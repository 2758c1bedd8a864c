// Helpers shared by the tests: running the headless viewer, temporary files,
// reading 16-bit screenshots.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs icon_look_headless with the given arguments (each quoted for the shell).
RunResult run_headless(const std::vector<std::string>& args);

// A fresh path under the build tree for a test's output files.
std::string test_output_path(const std::string& name);

// Writes text to a file; returns the path.
std::string write_text_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);

// A 16-bit BI_RGB bitmap as the runner writes it: pixels top row first.
struct Image16 {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> pixels;
};
bool read_bmp16(const std::string& path, Image16* image);

// The message boxes shown so far: their raw Shift-JIS texts, oldest first.
std::vector<std::string> shown_messages();
// One of the fixed messages with its %s filled in.
std::string message_with(const char* format, const std::string& name);
// One of the fixed messages with its number (a size, a record) filled in.
std::string message_with(const char* format, int value);
// The message of a record a section cannot read.
std::string bad_record_message(const std::string& section, int record);

// Base of the tests that read files: message boxes quiet and cleared, no
// allocation set to fail, and the test's own output directory as the working
// directory (short file names, so messages name them whole).
class FileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    std::string previous_directory_;
};
