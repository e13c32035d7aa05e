// Tavrel and the pauser on a pseudo-terminal, on Linux and as .exe files
// under Wine: what only a terminal shows, and under Wine what only a real
// console does (line input, whole characters, the console's own cls, title
// and pause). The rows' fixture and its helpers (terminal.cpp).
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "e2e/shared.h"

struct Terminal_output {
  std::string text;  // as the terminal got it, CR dropped
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::size_t>>
      arrivals;  // size after
};

// The text a reader sees: escape sequences dropped, except that Wine's
// "cursor right" stands for the blanks it skips.
std::string Plain(const std::string& raw);

// Reads until `needle` has arrived in the plain text after `from`, or
// `limit` has passed: false then, or at the end of the output.
bool Read_until(int fd, Terminal_output& out, const std::string& needle, std::size_t from = 0,
                std::chrono::milliseconds limit = std::chrono::seconds(20));

// When the text first held `size` bytes.
std::chrono::steady_clock::time_point Arrived(const Terminal_output& out, std::size_t size);

// Starts a program on a new pseudo-terminal of 120 columns, in `dir`, with
// TERM=xterm unless the launch sets it. A `raw` terminal is so from the
// start, as Wine's console sets it once it reads: keys typed ahead then
// reach it as typed (Enter as CR). Otherwise Ctrl+C is the terminal's
// signal, which Wine hands on as Ctrl+C. Returns the child and the
// terminal's master side; -1 for both when there is no terminal.
std::pair<pid_t, int> Start_on_terminal(const Launch& launch, bool raw);

// Whether what was typed on the terminal `fd` has been read on its other
// side within 10 s: its input queue is empty.
bool Taken(int fd);

// The main menu as it ends on the screen: what the rows wait for.
inline const std::string MENU_SHOWN = MENU.substr(MENU.rfind("3. "));

// A row's own folder and the terminal it starts its programs on: the
// session ended and the terminal closed on every way out.
class Terminal : public Row<Target> {
 protected:
  // Starts `launch` in the folder on a new terminal (see Start_on_terminal),
  // after ending one started before; false when there is no terminal.
  bool Start(Launch& launch, bool raw = false) {
    End();
    launch.dir = dir_.string();
    std::tie(pid_, fd_) = Start_on_terminal(launch, raw);
    out_ = {};
    return pid_ >= 0;
  }
  // Read_until on this terminal; a failure shows the text so far.
  ::testing::AssertionResult Until(const std::string& needle, std::size_t from = 0,
                                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    if (Read_until(fd_, out_, needle, from, limit)) return ::testing::AssertionSuccess() << Text();
    return ::testing::AssertionFailure() << Text().substr(std::min(from, Text().size()));
  }
  bool Type(std::string_view keys) {
    return write(fd_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
  }
  std::string Text() const { return Plain(out_.text); }
  // Whether the session's first process has ended, within `limit`.
  bool Ended(int& status, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
  }
  void End() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
    pid_ = fd_ = -1;
  }
  void TearDown() override {
    End();
    In_temp_dir::TearDown();
  }
  pid_t pid_ = -1;
  int fd_ = -1;
  Terminal_output out_;
};
