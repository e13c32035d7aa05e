// New windows for the stand-in's start: the terminal programs it knows,
// how each is told what to run, and a start that does not wait.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "cmd_standin/cmd_standin.h"
#include "platform/posix.h"

namespace {

// How long a launcher has to fail before its window counts as opened.
constexpr auto LAUNCH_GRACE = std::chrono::milliseconds(500);

}  // namespace

bool Run_detached(const std::vector<std::string>& args, const std::string& program) {
  // Starting a program opens its file: seen here, it tells a program that
  // ran and failed from a launcher that opened no window. Anyone's open
  // counts: a start of the same file elsewhere in that moment reads as ours.
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  const auto closing = Closing(watch);
  const bool watching = watch >= 0 && inotify_add_watch(watch, program.c_str(), IN_OPEN) >= 0;
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
  if (Wait_pid(pid) == 0) return true;
  alignas(inotify_event) char events[4096];
  return watching && read(watch, events, sizeof events) > 0;
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
                                        const std::string& dir, std::vector<std::string> program,
                                        const std::string& nice) {
  // tmux hands a lone command to a shell, and some launchers split a lone
  // argument at blanks; a wrapper that parses nothing makes it several.
  // (env would take a path holding '=' for a variable.)
  if (program.size() == 1) program.insert(program.begin(), {nice, "-n", "0", "--"});
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
