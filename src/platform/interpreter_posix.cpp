// What cmd would do with the few command lines Tavrel hands it, done
// without any shell: a name or a setting is never interpreted by anything.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "platform/interpreter.h"
#include "platform/platform.h"
#include "platform/posix.h"

namespace {

void Write_if_terminal(const std::string& bytes) {
  if (isatty(STDOUT_FILENO)) Write_out(bytes);
}

// Runs a program in this console and waits for it, as system() does.
// Returns its exit code (128 + the signal that ended it), -1 when it could
// not be waited for (said on standard error), nothing when it could not start.
std::optional<int> Run_child(const std::vector<std::string>& args, bool own_stdin = true) {
  struct sigaction old[2];
  Ignore_keyboard_signals(old);
  Save_terminal();
  std::optional<int> result;
  pid_t pid = 0;
  if (Spawn(args, pid, own_stdin) == 0) {
    result = Wait_pid(pid);
    if (*result < 0) std::cerr << "无法得知程序如何结束：" << std::strerror(errno) << '\n';
  }
  Restore_terminal();
  Restore_keyboard_signals(old);
  return result;
}

// How long a launcher has to fail before its window counts as opened.
constexpr auto LAUNCH_GRACE = std::chrono::milliseconds(500);

// Starts a launcher that outlives us and is never waited for: an
// intermediate child spawns it in a session of its own, so Ctrl+C or a
// closed terminal does not reach it, watches it for LAUNCH_GRACE and exits,
// so no zombie stays. True unless the launcher failed within that time
// (no display there, say): then it opened no window.
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

bool Is_executable_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The first executable file called `name` in the folders of PATH.
std::optional<std::string> Find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (std::string_view rest = path ? path : ""; !rest.empty();) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    // An empty entry, like ".", is the working directory: skipped, since a
    // file there is no installed launcher.
    if (dir.empty() || dir.front() != '/') continue;
    const std::string file = std::string(dir) + "/" + name;
    if (Is_executable_file(file)) return file;
  }
  return std::nullopt;
}

bool Is_set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// cmd /c LINE: LINE loses one pair of enclosing quotes, as cmd strips them.
int Cmd(std::string_view line) {
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
    line = line.substr(1, line.size() - 2);
  const std::vector<std::string> fields = Split_fields(line);
  if (const auto code = Run_child(fields)) return *code;
  std::cerr << "无法启动程序：" << (fields.empty() ? "" : fields[0]) << '\n';
  return 9009;
}

// start "TITLE" PROGRAM ARGS...: a new window where there is one, else this
// console. Returns 0 once the program has been started.
int Start(std::string_view line) {
  std::vector<std::string> fields = Split_fields(line);
  if (fields.size() < 2 || !Is_executable_file(fields[1])) {
    std::cerr << "找不到程序，或它不可执行：" << (fields.size() < 2 ? "" : fields[1]) << '\n';
    return 1;
  }
  const std::string title = fields[0];
  std::vector<std::string> program(fields.begin() + 1, fields.end());
  std::error_code ec;
  const std::string dir = std::filesystem::current_path(ec).string();
  // Launchers look a bare name up on PATH and may start elsewhere.
  program[0] = (std::filesystem::path(dir) / program[0]).lexically_normal().string();
  // Each way that fails at once has opened nothing: the next one is tried.
  if (Is_set("TMUX")) {
    if (const auto tmux = Find_on_path("tmux")) {
      std::vector<std::string> argv = Window_command("tmux", title, dir, program);
      argv[0] = *tmux;
      if (Run_child(argv, false) == 0) return 0;
    }
  }
  if (Is_set("DISPLAY") || Is_set("WAYLAND_DISPLAY")) {
    for (const char* launcher : LAUNCHERS) {
      const auto found = Find_on_path(launcher);
      if (!found) continue;
      std::vector<std::string> argv = Window_command(launcher, title, dir, program);
      argv[0] = *found;
      if (Run_detached(argv)) return 0;
    }
  }
  return Run_child(program).has_value() ? 0 : 1;
}

}  // namespace

int Run_command(const std::string& line) {
  std::cout.flush();
  if (line == "cls") {
    Write_if_terminal("\x1b[H\x1b[2J\x1b[3J");
    return 0;
  }
  if (line.rfind("title ", 0) == 0) {
    Write_if_terminal("\x1b]0;" + line.substr(6) + "\a");
    return 0;
  }
  if (line == "pause") {
    Pause_for_key();
    return 0;
  }
  if (line.rfind("cmd /c ", 0) == 0) return Cmd(std::string_view(line).substr(7));
  if (line.rfind("start ", 0) == 0) return Start(std::string_view(line).substr(6));
  std::cerr << "无法识别的命令：" << line << '\n';
  return 9009;
}

std::vector<std::string> Split_fields(std::string_view line) {
  std::vector<std::string> fields;
  bool in_field = false, quoted = false;
  for (const char c : line) {
    if (!quoted && (c == ' ' || c == '\t')) {
      in_field = false;
      continue;
    }
    if (!in_field) fields.emplace_back();
    in_field = true;
    if (c == '"')
      quoted = !quoted;
    else
      fields.back().push_back(c);
  }
  return fields;
}

std::vector<std::string> Window_command(std::string_view launcher, const std::string& title,
                                        const std::string& dir, std::vector<std::string> program) {
  // tmux hands a lone command to a shell, and some launchers split a lone
  // argument at blanks; a wrapper that parses nothing makes it several.
  // (env would take a path holding '=' for a variable.)
  if (program.size() == 1) program.insert(program.begin(), {"nice", "-n", "0", "--"});
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
