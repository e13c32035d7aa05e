#include "settings/store.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "files.h"
#include "platform/scoped.h"

namespace {

namespace fs = std::filesystem;

const char* const DATA = "tavrel_data.qv";

class Store : public In_temp_dir {
 protected:
  void SetUp() override {
    In_temp_dir::SetUp();
    COM_PATH = CON_PATH = COM_SETTINGS = "";
  }
  // Everything in the directory but the data file: temporary files left over.
  std::vector<std::string> Others() { return Names_besides(dir_, DATA); }
};

TEST_F(Store, LoadTakesTheFirstThreeLines) {
  const struct {
    const char* what;
    std::string file;
    std::string com, con, opts;
  } cases[] = {
      {"all empty", "\r\n\r\n", "", "", ""},
      {"crlf", "C:\\g++.exe\r\nC:\\cp.exe\r\n-O2\r\n", "C:\\g++.exe", "C:\\cp.exe", "-O2"},
      {"bare lf", "a\nb\nc", "a", "b", "c"},
      {"one line, no break", "X", "X", "", ""},
      {"five lines", "1\n2\n3\n4\n5\n", "1", "2", "3"},
      {"blanks and bom kept", "\xEF\xBB\xBF a \r\n\t\r\n  ", "\xEF\xBB\xBF a ", "\t", "  "},
      {"cr only before lf", "a\rb\r\r\nc\r", "a\rb\r", "c\r", ""},
      {"empty file", "", "", "", ""},
      {"nul bytes", std::string("a\0b\n", 4), std::string("a\0b", 3), "", ""},
  };
  for (const auto& c : cases) {
    COM_PATH = CON_PATH = COM_SETTINGS = "";
    Write_file(DATA, c.file);
    Load_settings();
    EXPECT_EQ(COM_PATH, c.com) << c.what;
    EXPECT_EQ(CON_PATH, c.con) << c.what;
    EXPECT_EQ(COM_SETTINGS, c.opts) << c.what;
  }
}

TEST_F(Store, LoadSkipsWhatIsNoRegularFile) {
  Load_settings();  // no file at all
  fs::create_directory(DATA);
  Load_settings();
  EXPECT_EQ(COM_PATH + CON_PATH + COM_SETTINGS, "");
#ifndef _WIN32
  fs::remove(DATA);
  ASSERT_EQ(mkfifo(DATA, 0600), 0);
  Load_settings();  // would wait for a writer if it opened the FIFO
  EXPECT_EQ(COM_PATH + CON_PATH + COM_SETTINGS, "");
  fs::remove(DATA);
  Write_file("elsewhere", "linked\r\n\r\n");
  fs::create_symlink("elsewhere", DATA);
  Load_settings();
  EXPECT_EQ(COM_PATH, "linked");
#endif
}

TEST_F(Store, SaveWritesExactBytesAndRoundTrips) {
  ASSERT_TRUE(Save_settings());
  EXPECT_EQ(Read_file(DATA), "\r\n\r\n");
  COM_PATH = std::string("P");  // not a literal: GCC 12 warns falsely (-Wrestrict)
  ASSERT_TRUE(Save_settings());
  EXPECT_EQ(Read_file(DATA), "P\r\n\r\n");

  COM_PATH = " \"D:\\编译器\\g++.exe\" ";
  CON_PATH = "\"C:\\Tools\\ConsolePauser.exe\"";
  COM_SETTINGS = "-O2 -Wall -std=c++20 ";
  ASSERT_TRUE(Save_settings());
  const std::string a = COM_PATH, b = CON_PATH, c = COM_SETTINGS;
  COM_PATH = CON_PATH = COM_SETTINGS = "";
  Load_settings();
  EXPECT_EQ(COM_PATH, a);
  EXPECT_EQ(CON_PATH, b);
  EXPECT_EQ(COM_SETTINGS, c);
  EXPECT_TRUE(Others().empty());
}

TEST_F(Store, SaveReplacesAnEmptyDirectory) {
  fs::create_directory(DATA);
  COM_PATH = std::string("x");
  ASSERT_TRUE(Save_settings());
  EXPECT_EQ(Read_file(DATA), "x\r\n\r\n");
#ifndef _WIN32
  // A link to a folder stands there: the link is replaced, the folder kept.
  fs::remove(DATA);
  fs::create_directory("folder");
  fs::create_directory_symlink("folder", DATA);
  ASSERT_TRUE(Save_settings());
  EXPECT_EQ(Read_file(DATA), "x\r\n\r\n");
  EXPECT_TRUE(fs::is_directory("folder"));
  // The mode any new file gets: 0666 less the umask.
  for (const mode_t mask : {022, 077}) {
    const mode_t old = umask(mask);
    const auto restore = Scoped{[old] { umask(old); }};
    ASSERT_TRUE(Save_settings());
    struct stat st {};
    ASSERT_EQ(stat(DATA, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << mask;
  }
#endif
}

#ifndef _WIN32
TEST_F(Store, ConcurrentSavesNeverMix) {
  constexpr int WRITERS = 4, SAVES = 100;
  const auto bytes = [](int k) {
    return "compiler " + std::to_string(k) + "\r\n" + std::string(100 * k, 'p') + "\r\n-O" +
           std::to_string(k);
  };
  Write_file(DATA, bytes(0));
  std::vector<pid_t> writers;
  for (int k = 1; k <= WRITERS; ++k) {
    const pid_t pid = fork();
    if (pid == 0) {
      COM_PATH = "compiler " + std::to_string(k);
      CON_PATH = std::string(100 * k, 'p');
      COM_SETTINGS = "-O" + std::to_string(k);
      bool ok = true;
      for (int i = 0; i < SAVES; ++i) ok = Save_settings() && ok;
      _exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  // Read while they write: always one whole content, never a mix.
  int reads = 0;
  while (!writers.empty()) {
    const std::string now = Read_file(DATA);
    bool whole = false;
    for (int k = 0; k <= WRITERS; ++k) whole = whole || now == bytes(k);
    ASSERT_TRUE(whole) << now;
    ++reads;
    for (auto it = writers.begin(); it != writers.end();) {
      int status = 0;
      if (waitpid(*it, &status, WNOHANG) == 0) {
        ++it;
        continue;
      }
      EXPECT_EQ(status, 0) << "a save failed";
      it = writers.erase(it);
    }
  }
  EXPECT_GT(reads, 1);
  EXPECT_TRUE(Others().empty());
}
#endif

TEST_F(Store, FailedSaveKeepsWhatWasThere) {
  fs::create_directories(fs::path(DATA) / "inside");
  COM_PATH = "new";
  EXPECT_FALSE(Save_settings());
  EXPECT_TRUE(fs::is_directory(fs::path(DATA) / "inside"));
  EXPECT_TRUE(Others().empty());
}

#ifdef _WIN32
// A virus scanner holds the data file a moment without letting it be
// replaced: the save waits that out, but not a hold past its patience.
TEST_F(Store, SaveOutwaitsABriefHolder) {
  for (const auto& [held_ms, saved] : {std::pair{300, true}, std::pair{3000, false}}) {
    fs::remove(DATA);  // hidden by the save before: no truncating it
    Write_file(DATA, "old\r\n\r\n");
    const HANDLE h =
        CreateFileW(L"tavrel_data.qv", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::thread holder([h, ms = held_ms] {
      Sleep(ms);
      CloseHandle(h);
    });
    COM_PATH = "new";
    EXPECT_EQ(Save_settings(), saved) << held_ms;
    holder.join();
    EXPECT_EQ(Read_file(DATA), saved ? "new\r\n\r\n" : "old\r\n\r\n") << held_ms;
    EXPECT_TRUE(Others().empty()) << held_ms;
  }
}
#endif

}  // namespace
