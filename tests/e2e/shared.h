// What the end-to-end suites share: the program's texts as a transcript
// shows them, the two targets, and the helpers that fit a text or a run to
// a target.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.h"
#include "files.h"
#include "texts.h"

namespace fs = std::filesystem;

enum Target { LINUX, WINE };

// Skips a test that cannot run here, with the true reason; with CI set, a
// missing tool fails it instead, so that nothing passes by not running.
#define NEED(ready, reason, tool_missing)                                     \
  do {                                                                        \
    if (!(ready)) {                                                           \
      if ((tool_missing) && std::getenv("CI") != nullptr) FAIL() << (reason); \
      GTEST_SKIP() << (reason);                                               \
    }                                                                         \
  } while (0)
#define NEED_WINE() NEED(*TAVREL_WINE != '\0', TAVREL_WINE_ABSENT, TAVREL_WINE_TOOL_MISSING)
// A helper program that CMake found (its path), or the package that has it.
#define NEED_TOOL(path, package) \
  NEED(*(path) != '\0', std::string(package) + " is not installed", true)

// What tavrel-pauser prints after a program that ended as `ended` says.
inline std::string Pauser_summary(const std::string& ended) {
  return "\n" + std::string(40, '-') + "\n" + ended +
         "\n运行时间：T 秒（CPU C 秒）\n峰值内存：M MiB\n" + PAUSE;
}

// Placeholders in data files and records: the doubles' paths.
inline const std::string CC_DATA = "{CC}\r\n\r\n-O2 -Wall";
inline const std::pair<std::string, std::string> SOURCE{"a.cpp", "int main() {}\n"};
inline const std::string CC_LOG =
    "raw [\"{CC}\" -O2 -Wall -g -o \"a.exe\" \"a.cpp\"]\n"
    "compiler <-O2> <-Wall> <-g> <-o> <a.exe> <a.cpp>\n";

void Replace_all(std::string& s, const std::string& from, const std::string& to);

// Asks `condition` every 10 ms until it holds, for at most `limit`: whether
// it held.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

// A transcript as `target` shows it: Wine's cmd has its own pause prompt
// (unless `cmd_pause` is false: the pauses are ours, not the interpreter's)
// and the C runtime's text mode ends every line in CR LF. What a program
// shows in a window of its own stands between {here} and {/here}: on Linux,
// without a display, the window is this console.
std::string For_target(std::string s, Target target, bool cmd_pause = true);

// Wine's name for an absolute Linux path.
std::string Windows_path(std::string path);

// The doubles' paths in place of {CC}, {ODD_CC}, {PAUSER}, {SPACED_PAUSER},
// {PROGRAM} and {TAVREL_PAUSER}; records of the raw command line ("raw [")
// are kept on Windows only.
std::string With_doubles(const std::string& s, Target target);

// The pauser's figures vary from run to run: T seconds, M MiB.
std::string Without_figures(const std::string& s);

// A program started in a new window under Wine runs on after Tavrel: its
// record is waited for, up to 10 s, until it holds `size` bytes.
std::string Wait_for_log(const std::filesystem::path& log, std::size_t size);

// A row of `Case` in a fresh folder of its own (dir_, the working
// directory), removed afterwards unless the row failed.
template <class Case>
class Row : public In_temp_dir, public ::testing::WithParamInterface<Case> {};

// A table's row name: the case's own.
template <class Case>
std::string Named(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// Runs the Linux program (inheriting an ignored SIGCHLD), or the Windows one
// under Wine in the run's prefix.
Launch Starting(Target target, const char* linux_program, const char* windows_program);

// A parameterised test's name: the case's, then _Linux or _Wine.
template <class Case>
std::string Name(const ::testing::TestParamInfo<std::tuple<Case, Target>>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == LINUX ? "_Linux" : "_Wine");
}
