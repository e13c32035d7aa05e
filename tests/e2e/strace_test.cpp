
#include <regex>
#include <sstream>

#include "e2e/shared.h"

namespace {

// System-call faults injected with strace, none of them seams in the code:
// the run is made once to find which call of its kind each step hits, then
// again with the fault at each step.
struct Step {
  const char* call;     // the system call
  const char* after;    // the call to fail is the first after a traced line matching this
  const char* pattern;  // and matching this itself
};

struct Fault {
  const char* name;
  Step step;
  const char* inject;  // error=... or signal=SIGKILL
  std::string input;
  std::string shows;  // the transcript holds this
  int status;
  bool in_the_way = false;      // an empty folder stands where the data file goes
  std::string data = "";        // what the data file holds afterwards, when given
  bool pauser = false;          // the pauser runs the fake program, not Tavrel
  std::vector<Step> then = {};  // more steps, each faulted in a run of its own
  std::string log = "";         // what the doubles record, when given
};

const std::string OLD_DATA = "old\r\n\r\n", NEW_DATA = "new\r\n\r\n", SET_NEW = "2\n1\nnew\n5\n3\n";
const char* const TMP = "\\.tmp\"";
const int KILLED = 128 + 9;
const Step OPEN_TMP{"openat", "", TMP}, WRITE_TMP{"write", TMP, ""}, SYNC{"fsync", "", ""},
    CLOSE_TMP{"close", TMP, ""}, RENAME{"rename", "", ""}, RMDIR{"rmdir", "", ""},
    WAIT{"wait4", "", ""}, READ_DATA{"read", "\"tavrel_data.qv\", O_RDONLY", ""},
    OPEN_DATA{"openat", "", "\"tavrel_data.qv\", O_RDONLY"}, EXEC_CC{"execve", "", "{CC}"},
    EVERY_CLOSE_RANGE{"close_range", nullptr, nullptr};  // no count: every call fails
const std::vector<Step> REST_OF_SAVE{WRITE_TMP, SYNC, CLOSE_TMP, RENAME};

const Fault FAULTS[] = {
    {"OpenTemporary", OPEN_TMP, "error=EACCES", SET_NEW, UNSAVED, 1},
    {"WriteTemporary", WRITE_TMP, "error=ENOSPC", SET_NEW, UNSAVED, 1},
    {"SyncTemporary", SYNC, "error=EIO", SET_NEW, UNSAVED, 1},
    {"CloseTemporary", CLOSE_TMP, "error=EIO", SET_NEW, UNSAVED, 1},
    {"Rename", RENAME, "error=EXDEV", SET_NEW, UNSAVED, 1},
    {"RemoveFolderInTheWay", RMDIR, "error=EBUSY", "3\n", UNSAVED, 1, true},
    {"KilledAtEachStep", OPEN_TMP, "signal=SIGKILL", SET_NEW, "", KILLED, false, "", false,
     REST_OF_SAVE},
    // Only the compiler's path: -P, not a count, since counts are per process.
    {"CompilerWillNotStart", EXEC_CC, "error=ENOENT", "1\na.cpp\n3\n", AUTO + "编译失败！", 0},
    {"WaitForCompilerFails", WAIT, "error=ECHILD", "1\na.cpp\n3\n",
     "编译失败！\n\n" + PAUSE + MENU + BYE + "无法得知程序如何结束", 0},
    {"TermAtSync", SYNC, "signal=SIGTERM", SET_NEW, "", 128 + 15, false, NEW_DATA},
    {"QuitAtSync", SYNC, "signal=SIGQUIT", SET_NEW, "", 128 + 3, false, NEW_DATA},
    {"ProfilerAtSync", SYNC, "signal=SIGPROF", SET_NEW, "", 128 + 27, false, NEW_DATA},
    {"PauserWaitFails", WAIT, "error=ECHILD", "", "无法得知程序如何结束。", 1, false, "", true},
    {"DataFileWillNotRead", READ_DATA, "error=EIO", "2\n1\n", "当前编译器路径：<空>", 0, false,
     OLD_DATA},
    {"DataFileWillNotReadThenSet", READ_DATA, "error=EIO", SET_NEW, "当前编译器路径：<空>", 0,
     false, NEW_DATA},
    {"DataFileWillNotOpen", OPEN_DATA, "error=EACCES", "2\n1\n", "当前编译器路径：<空>", 0},
    // A kernel without close_range, and a descriptor above 1023 that Tavrel
    // inherited: it reaches neither the compiler nor the program.
    {.name = "NoCloseRange",
     .step = EVERY_CLOSE_RANGE,
     .inject = "error=ENOSYS",
     .input = "1\na.cpp\n1\n3\n",
     .shows = STARTED,
     .status = 0,
     .log = CC_LOG + "program\nfds 0 1 2\n"},
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

using Injected = Row<Fault>;

TEST_P(Injected, LeavesTheDataFileWholeAndTellsTheFailure) {
  const Fault& f = GetParam();
  NEED(*TAVREL_STRACE != '\0', "strace (Debian: strace) is not installed", true);
  const std::string root = dir_.string();
  Launch launch;
  launch.dir = root + "/cwd";
  launch.input = f.input;
  launch.env = {"ASAN_OPTIONS=detect_leaks=0", "FAKE_FDS=1"};  // no LeakSanitizer under ptrace
  launch.high_descriptor = 1500;
  const fs::path data = fs::path(launch.dir) / DATA;
  const fs::path trace = fs::path(root) / "trace";
  const bool by_path = f.step.call == std::string("execve");
  std::vector<Step> steps{f.step};
  steps.insert(steps.end(), f.then.begin(), f.then.end());
  std::string calls = "openat";
  for (const Step& step : steps) calls += std::string(",") + step.call;
  const auto run = [&](const std::string& fault) {
    fs::remove_all(launch.dir);
    fs::create_directory(launch.dir);
    if (f.in_the_way)
      fs::create_directory(data);
    else  // a run of code needs the compiler
      Write_file(data, f.input[0] == '1' ? With_doubles(CC_DATA, LINUX) : OLD_DATA);
    Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
    launch.argv = {TAVREL_STRACE, "-f", "-o", trace.string(), "-e", "trace=" + calls};
    if (by_path) launch.argv.insert(launch.argv.end(), {"-P", With_doubles(f.step.pattern, LINUX)});
    if (!fault.empty()) launch.argv.insert(launch.argv.end(), {"-e", fault});
    launch.argv.push_back(f.pauser ? TAVREL_PAUSER : TAVREL_UNPACED);
    if (f.pauser) launch.argv.push_back(With_doubles("{PROGRAM}", LINUX));
    return Run_program(launch);
  };
  std::string traced;  // from one run without faults: which call of its kind each step is
  for (const Step& step : steps) {
    SCOPED_TRACE(step.call);
    std::string when;
    if (!by_path && step.after != nullptr) {
      if (traced.empty()) run(""), traced = Read_file(trace);
      std::istringstream lines(traced);
      const std::regex call(std::string("^[0-9]+ +") + step.call + "\\("), after(step.after),
          target(step.pattern);
      bool armed = *step.after == '\0', found = false;
      for (std::string line; !found && std::getline(lines, line);) {
        const bool is_call = std::regex_search(line, call);
        if (is_call) when = std::to_string(std::stoi(when.empty() ? "0" : when) + 1);
        if (is_call && armed) found = std::regex_search(line, target);
        armed = armed || std::regex_search(line, after);
      }
      ASSERT_TRUE(found) << traced;
      when = ":when=" + when;
    }
    const Outcome o = run("inject=" + std::string(step.call) + ":" + f.inject + when);
    EXPECT_EQ(o.status, f.status) << o.out << o.err;
    EXPECT_NE((o.out + o.err).find(f.shows), std::string::npos) << o.out << o.err;
    if (!f.log.empty()) {
      EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"), With_doubles(f.log, LINUX));
    }
    if (!f.data.empty()) {
      EXPECT_EQ(Read_file(data), f.data);
    } else if (f.in_the_way) {
      EXPECT_TRUE(fs::is_directory(data));
    } else if (f.status == KILLED) {
      const std::string now = Read_file(data);
      EXPECT_TRUE(now == OLD_DATA || now == NEW_DATA) << now;
    } else if (f.status == 1 || step.call == std::string("openat")) {
      EXPECT_EQ(Read_file(data), OLD_DATA);  // also when it could not be read
    }
    if (f.status != KILLED && f.input[0] != '1' && !f.pauser) {  // SIGKILL cannot wait for the save
      std::vector<std::string> names = Names_besides(launch.dir, DATA);
      EXPECT_EQ(names, std::vector<std::string>{SOURCE.first});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Strace, Injected, ::testing::ValuesIn(FAULTS), Named<Fault>);

}  // namespace
