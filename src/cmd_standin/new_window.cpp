// New windows for the stand-in's start: the terminal programs it knows,
// how each is told what to run, and a start that does not wait.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include "cmd_standin/cmd_standin.h"
#include "platform/posix.h"

namespace {

// How long a launcher has to fail before its window counts as opened.
constexpr auto LAUNCH_GRACE = std::chrono::milliseconds(500);

}  // namespace

bool Run_detached(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setsid();
    pid_t child = 0;
    if (Spawn(args, child, false) != 0) _exit(1);
    const auto end = std::chrono::steady_clock::now() + LAUNCH_GRACE;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      const pid_t r = waitpid(child, &status, WNOHANG);
      if (r == child) _exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
      if (r < 0 && errno != EINTR) _exit(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    _exit(0);
  }
  return Wait_pid(pid) == 0;
}

std::optional<std::string> Find_start_step() {
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  for (const char* place : {"tavrel-start", "../libexec/tavrel/tavrel-start"}) {
    const std::string step = (here.parent_path() / place).string();
    if (Is_executable_file(step)) return step;
  }
  return std::nullopt;
}

bool Is_executable_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> Find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (std::string_view rest = path ? path : ""; !rest.empty();) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    // An empty entry, like ".", is the working directory: skipped, since a
    // file there is no installed program.
    if (dir.empty() || dir.front() != '/') continue;
    const std::string file = std::string(dir) + "/" + name;
    if (Is_executable_file(file)) return file;
  }
  return std::nullopt;
}

std::vector<std::string> Window_command(std::string_view launcher, const std::string& title,
                                        const std::string& dir,
                                        const std::vector<std::string>& program) {
  // tmux hands a lone command to a shell, and some launchers split a lone
  // argument at blanks: the start step ahead of the program makes it
  // several arguments, which none of them parses.
  std::vector<std::string> argv{std::string(launcher)};
  const auto add = [&argv](std::initializer_list<std::string> more) {
    argv.insert(argv.end(), more);
  };
  if (launcher == "tmux") {
    // tmux expands formats in both values ("#(cmd)" runs a shell); "##"
    // stands for "#".
    const auto literal = [](const std::string& s) {
      std::string out;
      for (const char c : s) out.append(c == '#' ? 2 : 1, c);
      return out;
    };
    add({"new-window", "-c", literal(dir)});
    if (!title.empty()) add({"-n", literal(title)});
    add({"--"});
  } else if (launcher == "x-terminal-emulator" || launcher == "xterm") {
    if (!title.empty()) add({"-T", title});
    add({"-e"});
  } else if (launcher == "gnome-terminal") {
    add({"--working-directory=" + dir, "--"});
  } else if (launcher == "konsole") {
    add({"--workdir", dir, "-e"});
  } else if (launcher == "xfce4-terminal") {
    // One argument: GLib's parser could take a title that starts with '-'
    // for an option.
    add({"--working-directory=" + dir});
    if (!title.empty()) add({"--title=" + title});
    add({"-x"});
  }
  argv.insert(argv.end(), program.begin(), program.end());
  return argv;
}
