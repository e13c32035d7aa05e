#include "e2e/shared.h"

#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

void Replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (auto p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
}

std::string For_target(std::string s, Target target, bool cmd_pause) {
  for (std::size_t p; (p = s.find("{here}")) != std::string::npos;) {
    const std::size_t end = s.find("{/here}", p);
    if (target == LINUX)
      s.erase(end, 7).erase(p, 6);
    else
      s.erase(p, end + 7 - p);
  }
  if (target == LINUX) {
    Replace_all(s, "{START_ERROR}", "");
    return s;
  }
  if (cmd_pause) Replace_all(s, PAUSE, "Press any key to continue... ");
  std::string crlf;
  for (char c : s) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  Replace_all(crlf, "{START_ERROR}",
              "Application could not be started, or no application associated with the "
              "specified file.\nShellExecuteEx failed: File not found.\r\n\n");
  return crlf;
}

std::string Windows_path(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

std::string With_doubles(const std::string& s, Target target) {
  std::string out;
  for (std::size_t i = 0, end; i < s.size(); i = end) {
    end = std::min(s.find('\n', i), s.size() - 1) + 1;
    const std::string line = s.substr(i, end - i);
    if (target == WINE || line.rfind("raw [", 0) != 0) out += line;
  }
  const std::string dir = target == LINUX ? TAVREL_DOUBLES : Windows_path(TAVREL_WIN_DOUBLES);
  const std::string ext = target == LINUX ? "" : ".exe";
  const std::string sep = target == LINUX ? "/" : "\\";
  Replace_all(out, "{CC}", dir + sep + "fake_compiler" + ext);
  Replace_all(out, "{ODD_CC}", dir + sep + "R&D x^y (2)" + sep + "fake_compiler" + ext);
  Replace_all(out, "{PAUSER}", dir + sep + "fake_pauser" + ext);
  Replace_all(out, "{SPACED_PAUSER}", dir + sep + "my tools (x86)" + sep + "fake_pauser" + ext);
  Replace_all(out, "{PROGRAM}", dir + sep + "fake_program" + ext);
  Replace_all(out, "{TAVREL_PAUSER}",
              target == LINUX ? TAVREL_PAUSER : Windows_path(TAVREL_WIN_PAUSER));
  return out;
}

std::string Without_figures(const std::string& s) {
  static const std::regex time("运行时间：[0-9]+\\.[0-9]{3} 秒（CPU [0-9]+\\.[0-9]{3} 秒）"),
      memory("峰值内存：[0-9]+\\.[0-9] MiB");
  return std::regex_replace(std::regex_replace(s, time, "运行时间：T 秒（CPU C 秒）"), memory,
                            "峰值内存：M MiB");
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string Wait_for_log(const fs::path& log, std::size_t size) {
  Eventually([&] { return Read_file(log).size() >= size; });
  return Read_file(log);
}

Launch Starting(Target target, const char* linux_program, const char* windows_program) {
  Launch launch;
  if (target == LINUX) {
    launch.argv = {linux_program};
    // As a careless parent may leave it: no program of ours may depend on it.
    launch.child_signal_ignored = true;
  } else {
    launch.argv = {TAVREL_WINE, windows_program};
    launch.env = {"WINEPREFIX=" TAVREL_WINEPREFIX, "WINEDEBUG=-all", "LC_ALL=C.UTF-8"};
  }
  return launch;
}
