#include "pauser/pauser.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"

const char* const USAGE = "用法：tavrel-pauser 程序 [参数...]";

namespace {

// What stands between the program's output and the pauser's own.
const std::string END_RULE = "\n" + std::string(40, '-') + "\n";

// The usual ways a beginner's program dies, by the POSIX signal (0: none
// shows it) and the Windows codes (0 ends the list), with what to look for.
// Exit code 3 is how abort() ends with the older runtime.
const struct {
  int signal;
  unsigned long codes[4];
  const char* cause;
} CAUSES[] = {
    {SIGSEGV, {0xC0000005}, "可能的原因：数组越界、空指针或已释放的内存；递归太深也会如此。"},
    {0,
     {0xC00000FD},
     "可能的原因：递归太深或局部数组太大（栈溢出）：把大数组改为全局变量，或在编译选项中加 "
     "-Wl,--stack,268435456。"},
    {SIGFPE, {0xC0000094}, "可能的原因：整数除以 0 或对 0 取余。"},
    {0,
     {0xC0000135, 0xC0000139, 0xC0000142, 0xC000007B},
     "可能的原因：找不到或用错了 g++ 的运行库 DLL：在编译选项中加 -static。"},
    {SIGABRT,
     {0xC0000409, 3},
     "可能的原因：assert 失败、未捕获的异常或 abort()，也可能是数组越界写坏了栈。"},
};

}  // namespace

std::string Exception_name(unsigned long code) {
  switch (code) {
    case 0xC0000005:
      return "访问冲突";
    case 0xC00000FD:
      return "栈溢出";
    case 0xC0000094:
      return "整数除以零";
    case 0xC000008E:
      return "浮点数除以零";
    case 0xC0000095:
      return "整数溢出";
    case 0xC000001D:
      return "非法指令";
    case 0xC0000096:
      return "特权指令";
    case 0x80000003:
      return "断点";
    case 0xC0000409:  // what abort() ends in with the UCRT
      return "异常结束（abort、未捕获的异常、断言失败）或栈缓冲区溢出";
    case 0xC0000374:
      return "堆损坏";
    case 0xC000013A:
      return "被 Ctrl+C 中断";
    case 0xC0000135:
      return "找不到所需的 DLL";
    case 0xC0000139:
      return "找不到 DLL 中的入口点";
    case 0xC000007B:
      return "映像格式错误（32/64 位不符？）";
    case 0xC0000142:
      return "DLL 初始化失败";
    case 0xC0000417:
      return "C 运行库函数的参数无效";
    default:
      return "";
  }
}

std::string Exit_line(unsigned long code, bool windows) {
  // A Windows exit code is 32 bits, shown signed as cmd shows %errorlevel%:
  // a program's -1 is -1.
  std::string line = "程序已结束，返回值：" +
                     (windows ? std::to_string(static_cast<std::int32_t>(code & 0xFFFFFFFFul))
                              : std::to_string(code));
  if (windows) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", code & 0xFFFFFFFFul);
    const std::string name = Exception_name(code);
    line += "（" + std::string(hex) + (name.empty() ? "" : "，" + name) + "）";
  }
  return line;
}

std::string Cause_of_code(unsigned long code) {
  for (const auto& c : CAUSES)
    for (const unsigned long known : c.codes)
      if (known != 0 && known == code) return c.cause;
  return "";
}

std::string Cause_of_signal(int signal) {
  for (const auto& c : CAUSES)
    if (c.signal != 0 && c.signal == signal) return c.cause;
  return "";
}

std::string End_summary(const Pauser_run& run) {
  char figures[160];
  std::snprintf(figures, sizeof figures, "运行时间：%.3f 秒（CPU %.3f 秒）\n峰值内存：%.1f MiB\n",
                run.seconds, run.cpu_seconds,
                static_cast<double>(run.peak_bytes) / (1024.0 * 1024.0));
  return END_RULE + run.ended + "\n" + (run.cause.empty() ? "" : run.cause + "\n") + figures;
}

std::string Not_found_line(const std::string& program) {
  return "找不到要运行的程序：" + program + "\n";
}

std::string Unknown_end() { return END_RULE + "无法得知程序如何结束。\n"; }

std::string Not_executable_line(const std::string& program) {
  return "无法运行：" + program + "（不是可执行的程序）\n";
}

std::string Start_failed_line(const std::string& program, const std::string& reason) {
  return "无法运行：" + program + "：" + reason + "\n";
}

bool Asks_for_usage(std::string_view first) { return first == "--help" || first == "-h"; }

int Pauser_main(int argc, char** argv) {
  std::string program;
  if (!Program_named(argc, argv, program)) return Finish(std::string(USAGE) + "\n", 2);
  if (Asks_for_usage(program)) {
    Write_out(std::string(USAGE) + "\n");
    return 0;
  }
  const Pauser_run run = Run_program(argc, argv);
  if (!run.failed.empty()) return Finish(run.failed, run.status);
  if (!run.waited) return Finish(Unknown_end(), 1);
  return Finish(End_summary(run), run.status);
}

int Finish(const std::string& text, int status) {
  Write_out(text);
  Drop_typed_keys();
  Pause_for_key();
  return status;
}

std::wstring_view Program_token(std::wstring_view line) {
  if (!line.empty() && line[0] == L'"') {
    const std::size_t close = line.find(L'"', 1);
    return line.substr(0, close == std::wstring_view::npos ? line.size() : close + 1);
  }
  return line.substr(0, std::min(line.find_first_of(L" \t"), line.size()));
}

std::wstring_view After_program(std::wstring_view line) {
  line.remove_prefix(Program_token(line).size());
  const std::size_t start = line.find_first_not_of(L" \t");
  return start == std::wstring_view::npos ? std::wstring_view() : line.substr(start);
}
