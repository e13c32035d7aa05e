// tavrel-pauser run the way Tavrel runs it, on Linux and as
// tavrel-pauser.exe under Wine.

#include <regex>

#include "e2e/shared.h"

namespace {

struct Paused {
  const char* name;
  std::vector<std::string> args = {"{PROGRAM}"};  // after the pauser's own name
  std::vector<std::string> env = {};
  std::string text_file = "";  // a text file of this name in the working folder
  std::string out;             // on Linux; {HEX} stands for what Windows adds to the code
  int status = 0, wine_status = 0;
  std::string log = "program\n";
  std::string wine_ended = "";      // how Windows tells the end, where it differs
  double min_mib = 0, max_mib = 0;  // the peak memory shown on Linux, when given
  double min_cpu = 0, max_cpu = 0;  // the CPU seconds shown on Linux, when given
};

const std::string ENDED_0 = "程序已结束，返回值：0", WINE_ENDED_0 = ENDED_0 + "（0x00000000）";
const std::string
    MEMORY_CAUSE = "\n可能的原因：数组越界、空指针或已释放的内存；递归太深也会如此。",
    ABORT_CAUSE = "\n可能的原因：assert 失败、未捕获的异常或 abort()，也可能是数组越界写坏了栈。";
const std::string USAGE_LINE = "用法：tavrel-pauser 程序 [参数...]\n";

const Paused PAUSED[] = {
    {.name = "PrintsAndReturnsThree",
     .args = {"{PROGRAM}", "a b", "\"q\"", "中文", ""},
     .env = {"FAKE_SAY=你好，世界", "FAKE_EXIT=3"},
     .out = "你好，世界\n" + Pauser_summary("程序已结束，返回值：3{HEX}"),
     .status = 3,
     .wine_status = 3,
     .log = "program <a b> <\"q\"> <中文> <>\n"},
    {.name = "Crashes",
     .env = {"FAKE_CRASH=1", "ASAN_OPTIONS=handle_segv=0"},
     .out = Pauser_summary("程序被信号终止：11（SIGSEGV，段错误）" + MEMORY_CAUSE),
     .status = 128 + 11,
     .wine_status = 0xC0000005 & 0xFF,
     .wine_ended = "程序已结束，返回值：-1073741819（0xC0000005，访问冲突）" + MEMORY_CAUSE},
    // The program's own CPU time beside the wall time.
    {.name = "SpinsOnTheCpu",
     .env = {"FAKE_SPIN_MS=400"},
     .out = Pauser_summary(ENDED_0),
     .wine_ended = WINE_ENDED_0,
     .min_cpu = 0.25,
     .max_cpu = 10},
    {.name = "SleepsOffTheCpu",
     .env = {"FAKE_SLEEP_MS=400"},
     .out = Pauser_summary(ENDED_0),
     .wine_ended = WINE_ENDED_0,
     .max_cpu = 0.1},
    // The program's own peak, not the pauser's: a static program far
    // smaller than the pauser, and one that touches 40 MiB.
    {.name = "SmallProgramsOwnPeak",
     .out = Pauser_summary(ENDED_0),
     .wine_ended = WINE_ENDED_0,
     .min_mib = 0.5,
     .max_mib = 2},
    {.name = "BigProgramsOwnPeak",
     .env = {"FAKE_TOUCH_MIB=40"},
     .out = Pauser_summary(ENDED_0),
     .wine_ended = WINE_ENDED_0,
     .min_mib = 38,
     .max_mib = 45},
    {.name = "Interrupted",
     .env = {"FAKE_INTERRUPT=1"},
     .out = Pauser_summary("程序被信号终止：2（SIGINT，被 Ctrl+C 中断）"),
     .status = 128 + 2,
     .wine_status = 3,
     .wine_ended = "程序已结束，返回值：3（0x00000003）" + ABORT_CAUSE},
    // Windows' 32-bit exit code shown as cmd shows it.
    {.name = "ReturnsMinusOne",
     .env = {"FAKE_EXIT=-1"},
     .out = Pauser_summary("程序已结束，返回值：255"),
     .status = 255,
     .wine_status = 255,
     .wine_ended = "程序已结束，返回值：-1（0xFFFFFFFF）"},
    // What the program started lives on after it and the pauser.
    {.name = "LeavesADetachedChild",
     .env = {"FAKE_DETACH=1"},
     .out = Pauser_summary(ENDED_0),
     .log = "program\nprogram <late>\nlate\n",
     .wine_ended = WINE_ENDED_0},
    {.name = "TextFileAsProgram",
     .args = {"x.exe"},
     .text_file = "x.exe",
     .out = "无法运行：x.exe（不是可执行的程序）\n" + PAUSE,
     .status = 126,
     .wine_status = 9009 & 0xFF,
     .log = ""},
    {.name = "AsksForUsage", .args = {"--help"}, .out = USAGE_LINE, .log = ""},
    {.name = "AsksForUsageShortly", .args = {"-h"}, .out = USAGE_LINE, .log = ""},
    {.name = "MissingProgram",
     .args = {"nosuch"},
     .out = "找不到要运行的程序：nosuch\n" + PAUSE,
     .status = 127,
     .wine_status = 9009 & 0xFF,
     .log = ""},
};

void PrintTo(const Paused& p, std::ostream* os) { *os << p.name; }

using Pauser = Row<std::tuple<Paused, Target>>;

TEST_P(Pauser, RunsTheProgramAndTellsHowItEnded) {
  const auto& [c, target] = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_PAUSER, TAVREL_WIN_PAUSER);
  for (const std::string& a : c.args) launch.argv.push_back(With_doubles(a, target));
  launch.env.insert(launch.env.end(), c.env.begin(), c.env.end());
  const std::string root = dir_.string();
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  if (!c.text_file.empty()) Write_file(fs::path(launch.dir) / c.text_file, "not a program\n");
  // A PATH of the row's own: a folder it may not look into (but root), then
  // an empty one. A bare name is found nowhere, whatever PATH the tests run
  // with.
  if (target == LINUX) {
    fs::create_directory(root + "/bin");
    fs::create_directory(root + "/locked");
    fs::permissions(root + "/locked", fs::perms::owner_read | fs::perms::owner_write);
    launch.env.push_back("PATH=" + root + "/locked:" + root + "/bin");
  }
  const Outcome o = Run_program(launch);
  std::string out = c.out;
  if (target == WINE && !c.wine_ended.empty()) out = Pauser_summary(c.wine_ended);
  Replace_all(out, "{HEX}", target == WINE ? "（0x00000003）" + ABORT_CAUSE : "");
  EXPECT_EQ(Without_figures(o.out), For_target(out, target, false));
  EXPECT_EQ(o.status, target == LINUX ? c.status : c.wine_status) << o.err;
  if (target == LINUX) {
    EXPECT_EQ(o.err, "");
  }
  EXPECT_EQ(Wait_for_log(fs::path(launch.dir) / "fake.log", c.log.size()), c.log);
  std::smatch cpu;
  if (target == LINUX && c.max_cpu > 0 &&
      std::regex_search(o.out, cpu, std::regex("（CPU ([0-9.]+) 秒）"))) {
    const double seconds = std::stod(cpu[1]);
    EXPECT_TRUE(seconds >= c.min_cpu && seconds <= c.max_cpu) << seconds << " s of CPU";
  }
  std::smatch peak;
  if (target == LINUX && c.max_mib > 0 && !TAVREL_SANITIZED &&
      std::regex_search(o.out, peak, std::regex("峰值内存：([0-9.]+) MiB"))) {
    const double mib = std::stod(peak[1]);
    EXPECT_TRUE(mib >= c.min_mib && mib <= c.max_mib) << mib << " MiB";
  }
}

INSTANTIATE_TEST_SUITE_P(Ours, Pauser,
                         ::testing::Combine(::testing::ValuesIn(PAUSED),
                                            ::testing::Values(LINUX, WINE)),
                         Name<Paused>);

}  // namespace
