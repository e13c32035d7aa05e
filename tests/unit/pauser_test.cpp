#include "pauser/pauser.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include "pauser/signals.h"
#endif

namespace {

TEST(PauserTexts, TellsHowTheProgramEnded) {
  const struct {
    std::string line, expected;
  } cases[] = {
      {Exit_line(3, false), "程序已结束，返回值：3"},
      {Exit_line(3, true), "程序已结束，返回值：3（0x00000003）"},
      {Exit_line(0xC0000005, true), "程序已结束，返回值：-1073741819（0xC0000005，访问冲突）"},
      {Exit_line(0xC00000FD, true), "程序已结束，返回值：-1073741571（0xC00000FD，栈溢出）"},
      {Exit_line(0xC0000094, true), "程序已结束，返回值：-1073741676（0xC0000094，整数除以零）"},
      {Exit_line(0xC0000142, true),
       "程序已结束，返回值：-1073741502（0xC0000142，DLL 初始化失败）"},
      {Exit_line(0xC0000417, true),
       "程序已结束，返回值：-1073740777（0xC0000417，C 运行库函数的参数无效）"},
      {Exit_line(0xC0000409, true),
       "程序已结束，返回值：-"
       "1073740791（0xC0000409，异常结束（abort、未捕获的异常、断言失败）或栈缓冲区溢出）"},
      {Exit_line(0xDEADBEEF, true), "程序已结束，返回值：-559038737（0xDEADBEEF）"},
      {Exit_line(0xFFFFFFFF, true), "程序已结束，返回值：-1（0xFFFFFFFF）"},
      {Exit_line(255, false), "程序已结束，返回值：255"},
#ifndef _WIN32
      {Signal_line(11), "程序被信号终止：11（SIGSEGV，段错误）"},
      {Signal_line(6), "程序被信号终止：6（SIGABRT，程序中止）"},
      {Signal_line(63), "程序被信号终止：63"},
#endif
      {Start_failed_line("a.exe", "拒绝访问。（错误 5）"),
       "无法运行：a.exe：拒绝访问。（错误 5）\n"},
      {End_summary({.ended = "x", .seconds = 1.23456, .cpu_seconds = 0.5, .peak_bytes = 3 << 20}),
       "\n" + std::string(40, '-') +
           "\nx\n运行时间：1.235 秒（CPU 0.500 秒）\n峰值内存：3.0 MiB\n"},
      {End_summary({.ended = "x", .cause = "c"}),
       "\n" + std::string(40, '-') +
           "\nx\nc\n运行时间：0.000 秒（CPU 0.000 秒）\n峰值内存：0.0 MiB\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, c.expected);
}

TEST(PauserTexts, NamesTheLikelyCause) {
  const std::string
      memory = "可能的原因：数组越界、空指针或已释放的内存；递归太深也会如此。",
      divide = "可能的原因：整数除以 0 或对 0 取余。",
      dll = "可能的原因：找不到或用错了 g++ 的运行库 DLL：在编译选项中加 -static。",
      abort = "可能的原因：assert 失败、未捕获的异常或 abort()，也可能是数组越界写坏了栈。";
  const struct {
    unsigned long code;
    std::string cause;
  } codes[] = {
      {0xC0000005, memory},
      {0xC00000FD,
       "可能的原因：递归太深或局部数组太大（栈溢出）：把大数组改为全局变量，或在编译选项中加 "
       "-Wl,--stack,268435456。"},
      {0xC0000094, divide},
      {0xC0000135, dll},
      {0xC0000139, dll},
      {0xC0000142, dll},
      {0xC000007B, dll},
      {0xC0000409, abort},
      {3, abort},
      {0, ""},
      {1, ""},
      {0xC0000417, ""},
      {0xC000013A, ""},
  };
  for (const auto& c : codes) EXPECT_EQ(Cause_of_code(c.code), c.cause) << std::hex << c.code;
#ifndef _WIN32  // the numbers are POSIX's
  const struct {
    int signal;
    std::string cause;
  } signals[] = {{11, memory}, {8, divide}, {6, abort}, {0, ""}, {9, ""}, {2, ""}};
  for (const auto& c : signals) EXPECT_EQ(Cause_of_signal(c.signal), c.cause) << c.signal;
#endif
}

TEST(PauserTexts, FindsTheProgramInItsCommandLine) {
  const struct {
    std::wstring line, program, rest;
  } cases[] = {
      {L"tavrel-pauser.exe a.exe", L"tavrel-pauser.exe", L"a.exe"},
      {L"\"C:\\My Tools\\p.exe\"  \"a b.exe\" \"q\"", L"\"C:\\My Tools\\p.exe\"",
       L"\"a b.exe\" \"q\""},
      {L"p.exe", L"p.exe", L""},
      {L"p.exe \t ", L"p.exe", L""},
      {L"\"open p.exe x", L"\"open p.exe x", L""},
      {L"C:\\a\\\"b c", L"C:\\a\\\"b", L"c"},  // no escapes in a program's name
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Program_token(c.line), c.program);
    EXPECT_EQ(After_program(c.line), c.rest);
  }
}

}  // namespace
