// What cmd would do with the few command lines Tavrel hands it, done
// without any shell: a name or a setting is never interpreted by anything.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cmd_standin/cmd_standin.h"
#include "platform/platform.h"
#include "platform/posix.h"

namespace {

// What follows `prefix` in `line`, when `line` begins with it.
std::optional<std::string_view> After(std::string_view line, std::string_view prefix) {
  if (line.substr(0, prefix.size()) != prefix) return std::nullopt;
  return line.substr(prefix.size());
}

// Escape sequences only where a terminal understands them.
void Write_if_terminal(const std::string& bytes) {
  const char* term = std::getenv("TERM");
  if (isatty(STDOUT_FILENO) && term != nullptr && *term != '\0' && std::string_view(term) != "dumb")
    Write_out(bytes);
}

// Runs a program in this console and waits for it, as system() does.
// Returns its exit code (128 + the signal that ended it), -1 when it could
// not be waited for (said on standard error), nothing when it could not start.
std::optional<int> Run_child(const std::vector<std::string>& args, bool own_console = true) {
  return Around_child([&]() -> std::optional<int> {
    pid_t pid = 0;
    if (Spawn(args, pid, own_console) != 0) return std::nullopt;
    const int code = Wait_pid(pid);
    if (code < 0) std::cerr << "无法得知程序如何结束：" << std::strerror(errno) << '\n';
    return code;
  });
}

// A new folder of our own for the start step's mark, where nobody else can
// create it.
// TMPDIR first when it is absolute; /tmp whenever that cannot take it (gone,
// not ours to write, a name too long).
std::optional<std::string> Make_mark_folder() {
  const char* tmp = std::getenv("TMPDIR");
  for (const std::string& base :
       {std::string(tmp != nullptr && *tmp == '/' ? tmp : ""), std::string("/tmp")}) {
    if (base.empty()) continue;
    std::string folder = base + "/tavrel-XXXXXX";
    if (mkdtemp(folder.data()) != nullptr) return folder;
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
  return NOT_RUN;
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
  program[0] = Path_for_new_window(program[0]);
  // Each way that fails at once has opened nothing, unless the start step
  // marked the program's start: then it was started, whatever the launcher
  // said. Without the step (or a folder for its mark) no launcher is tried,
  // so that no later way runs the program a second time.
  const auto step = Find_start_step();
  if (step) {
    // A hang-up or termination meanwhile waits until the folder is gone.
    const auto held = Hold_signals({SIGHUP, SIGTERM});
    if (const auto marks = Make_mark_folder()) {
      const std::string mark = *marks + "/started";
      const auto removing = Scoped{[&] {
        unlink(mark.c_str());
        rmdir(marks->c_str());
      }};
      const auto started = [&mark] { return access(mark.c_str(), F_OK) == 0; };
      std::vector<std::string> marked{*step, mark};
      marked.insert(marked.end(), program.begin(), program.end());
      if (Is_set("TMUX")) {
        if (const auto tmux = Find_on_path("tmux")) {
          std::vector<std::string> argv = Window_command("tmux", title, dir, marked);
          argv[0] = *tmux;
          if (Run_child(argv, false) == 0 || started()) return 0;
        }
      }
      if (Is_set("DISPLAY") || Is_set("WAYLAND_DISPLAY")) {
        for (const char* launcher : LAUNCHERS) {
          const auto found = Find_on_path(launcher);
          if (!found) continue;
          std::vector<std::string> argv = Window_command(launcher, title, dir, marked);
          argv[0] = *found;
          if (Run_detached(argv) || started()) return 0;
        }
      }
    }
  }
  return Run_child(program).has_value() ? 0 : 1;
}

}  // namespace

// The stand-in's children find their libraries by other means here.
void Use_compiler_folder(const std::string&) {}

void Tell_output_code_page(const std::string&) {}

int Run_command(const std::string& line) {
  std::cout.flush();
  if (line == "cls") {
    Write_if_terminal("\x1b[H\x1b[2J\x1b[3J");
    return 0;
  }
  if (const auto title = After(line, "title ")) {
    Write_if_terminal("\x1b]0;" + std::string(*title) + "\a");
    return 0;
  }
  if (line == "pause") {
    Pause_for_key();
    return 0;
  }
  if (const auto rest = After(line, "cmd /c ")) return Cmd(*rest);
  if (const auto rest = After(line, "start ")) return Start(*rest);
  std::cerr << "无法识别的命令：" << line << '\n';
  return NOT_RUN;
}

std::vector<std::string> Split_fields(std::string_view line) {
  std::vector<std::string> fields;
  // The program's own name, as Windows reads it: quoted up to the next
  // quote, else up to a blank or tab; a backslash is only a backslash.
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return fields;
  line.remove_prefix(start);
  const bool name_quoted = line.front() == '"';
  const std::size_t end = name_quoted ? line.find('"', 1) : line.find_first_of(" \t");
  fields.emplace_back(line.substr(name_quoted ? 1 : 0, end == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : end - (name_quoted ? 1 : 0)));
  line.remove_prefix(end == std::string_view::npos ? line.size() : end + (name_quoted ? 1 : 0));
  bool in_field = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      in_field = false;
      continue;
    }
    if (!in_field) fields.emplace_back();
    in_field = true;
    if (c == '\\') {
      // As Windows' C runtime reads them: before a quote, each pair is one
      // backslash and an odd one makes the quote literal; elsewhere they
      // are ordinary.
      const std::size_t run = std::min(line.find_first_not_of('\\', i), line.size()) - i;
      const bool before_quote = i + run < line.size() && line[i + run] == '"';
      fields.back().append(before_quote ? run / 2 : run, '\\');
      if (before_quote && run % 2 == 1) fields.back().push_back('"');
      i += before_quote && run % 2 == 1 ? run : run - 1;
    } else if (c == '"') {
      quoted = !quoted;
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}
