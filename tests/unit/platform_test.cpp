#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "files.h"
#include "platform/common.h"
#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace {

TEST(WholeCharacters, HoldsBackOnlyAnUnfinishedCharacter) {
  const struct {
    std::string bytes;
    std::size_t whole;
  } cases[] = {
      {"", 0},
      {"ab", 2},
      {"\xE5", 0},          // first of three bytes of 启
      {"\xE5\x90", 0},      // two of three
      {"\xE5\x90\xAF", 3},  // 启 complete
      {"a\xE5\x90", 1},
      {"\xF0\x9F\x98", 0},  // three of four
      {"\xF0\x9F\x98\x80", 4},
      {"\xC3", 0},
      {"\x80\x80\x80\x80\x80", 5},      // stray continuation bytes
      {"\xE5\x90\xAF\xE5\x8A\xA8", 6},  // 启动
      {"\xFF", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Whole_characters(c.bytes), c.whole) << c.bytes.size();
}

TEST(ReadLine, KeepsAtMostWhatIsAskedAndConsumesTheLine) {
  std::istringstream in(std::string(100000, 'x') + "\nnext\n");
  std::string s;
  EXPECT_TRUE(Read_stream_line(*in.rdbuf(), s, 10));
  EXPECT_EQ(s, std::string(10, 'x'));
  EXPECT_TRUE(Read_stream_line(*in.rdbuf(), s, std::string::npos));
  EXPECT_EQ(s, "next");
  EXPECT_FALSE(Read_stream_line(*in.rdbuf(), s, std::string::npos));
  EXPECT_EQ(s, "");
}

// Each in a folder of its own: the Linux and the Windows unit tests may run
// side by side.
class PathQueries : public In_temp_dir {};

TEST_F(PathQueries, NeverThrowAndRefuseWhatCannotBeAName) {
  EXPECT_TRUE(Path_exists("."));
  EXPECT_FALSE(Is_regular_file("."));
  EXPECT_FALSE(Path_exists(""));
  std::ofstream("tavrel-nul-test") << "x";  // what a C string would stop at
  EXPECT_FALSE(Path_exists(std::string("tavrel-nul-test\0x", 17)));
  std::filesystem::remove("tavrel-nul-test");
#ifndef _WIN32
  std::ofstream("x\" -o o1 \"b.cpp") << "x";  // its quotes would make arguments
  EXPECT_FALSE(Path_exists("x\" -o o1 \"b.cpp"));
  std::filesystem::remove("x\" -o o1 \"b.cpp");
#endif
  EXPECT_FALSE(Path_exists(std::string(5000, 'a')));  // too long a name
  EXPECT_FALSE(Is_regular_file("no/such/file"));
}

TEST_F(PathQueries, TakeUtf8Names) {
  const std::string name = "路径 测试.cpp";
  std::filesystem::path p;
  ASSERT_TRUE(To_path(name, p));
  std::ofstream(p) << "x";
  EXPECT_TRUE(Is_regular_file(name));
  std::filesystem::remove(p);
  std::filesystem::path q;
#ifdef _WIN32
  EXPECT_FALSE(To_path("\xff\xfe", q));  // Windows names are UTF-16
#else
  EXPECT_TRUE(To_path("\xff\xfe", q));  // any bytes but NUL make a name here
#endif
}

#ifdef _WIN32
TEST(SystemMessage, TellsTheTextOnOneLineAndTheNumber) {
  for (const DWORD error : {DWORD{ERROR_ACCESS_DENIED}, DWORD{225}, DWORD{740}, DWORD{0xFFFF}}) {
    const std::string told = System_message(error);
    EXPECT_EQ(told.find('\n'), std::string::npos) << told;
    const std::string number = "（错误 " + std::to_string(error) + "）";
    EXPECT_EQ(told.substr(told.size() - std::min(told.size(), number.size())), number) << told;
  }
  // "%1 is not a valid Win32 application." and the like, filled.
  const std::string bad = System_message(ERROR_BAD_EXE_FORMAT, "x.exe");
  EXPECT_EQ(bad.find('%'), std::string::npos) << bad;
  EXPECT_NE(bad.find("x.exe"), std::string::npos) << bad;
}

// A ComSpec that cannot start (unexpanded, or gone): the system folder's
// cmd.exe runs the line, as system() would.
TEST(RunCommand, FallsBackToTheSystemsCmd) {
  const wchar_t* const old = _wgetenv(L"ComSpec");
  const std::wstring kept = old != nullptr ? old : L"";
  const auto restore = Scoped{[&kept] { _wputenv_s(L"ComSpec", kept.c_str()); }};
  for (const wchar_t* comspec : {L"%SystemRoot%\\system32\\cmd.exe", L"C:\\nosuch\\cmd.exe", L""}) {
    _wputenv_s(L"ComSpec", comspec);
    EXPECT_EQ(Run_command("cmd /c exit 3"), 3) << Narrow(comspec);
  }
}

TEST(FolderNotice, OnlyForNetworkFolders) {
  for (const auto& [folder, network] : {std::pair{L"\\\\server\\share", true},
                                        {L"\\\\?\\UNC\\server\\share\\x", true},
                                        {L"\\\\?\\C:\\work", false},
                                        {L"\\\\.\\C:\\work", false},
                                        {L"C:\\work", false},
                                        {L"", false}})
    EXPECT_EQ(Is_network_folder(folder), network) << Narrow(folder);
}

// What a killed save left is removed by the next; what another save may
// still use, or is not ours, stays.
TEST_F(PathQueries, SaveRemovesStaleTemporaryFilesOfItsOwn) {
  const FILETIME old{0, 0x01D00000};  // in 2014
  for (const auto& [name, stale] :
       {std::pair{L"d.qv.123.tmp", true}, {L"d.qv.456.tmp", false}, {L"d.qv.x1.tmp", true}}) {
    const HANDLE h =
        CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    if (stale) SetFileTime(h, nullptr, nullptr, &old);
    CloseHandle(h);
  }
  std::string why;
  ASSERT_TRUE(Replace_file("d.qv", "x", why)) << why;
  EXPECT_EQ(GetFileAttributesW(L"d.qv.123.tmp"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(L"d.qv.456.tmp"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(L"d.qv.x1.tmp"), INVALID_FILE_ATTRIBUTES);
}

// Every line without AutoRun; a compile line's own cmd is the only one.
TEST(RunCommand, GivesCmdEachLineAfterSlashDSlashC) {
  for (const auto& [line, told] :
       {std::pair{L"cls", L"cmd /d /c cls"},
        {L"start \"\" p.exe \"a.exe\"", L"cmd /d /c start \"\" p.exe \"a.exe\""},
        {L"cmd /c \"\"g++\" -o \"a.exe\"\"", L"cmd /d /c \"\"g++\" -o \"a.exe\"\""},
        {L"cmd /cls", L"cmd /d /c cmd /cls"}})
    EXPECT_EQ(Interpreter_line(line), told);
}

// The compiler's folder goes first, so that its DLLs win over any of the
// same name elsewhere; a later compiler's takes its place, and a ';' in it
// is quoted. What was on PATH at the first call stays, in its order.
TEST(UseCompilerFolder, PutsTheLatestFolderFirstOnPath) {
  const std::wstring found = _wgetenv(L"PATH");
  const auto restore = Scoped{[&found] {
    _wputenv_s(L"PATH", found.c_str());
    SetEnvironmentVariableW(L"PATH", found.c_str());
  }};
  for (const auto& [compiler, first] : {std::pair{"C:\\MinGW\\bin\\g++.exe", L"C:\\MinGW\\bin"},
                                        {"C:\\a;b\\g++.exe", L"\"C:\\a;b\""},
                                        {"C:\\w64\\bin\\g++.exe", L"C:\\w64\\bin"}}) {
    Use_compiler_folder(compiler);
    wchar_t inherited[32768];
    const DWORD n = GetEnvironmentVariableW(L"PATH", inherited, 32768);
    EXPECT_EQ(std::wstring(inherited, n), std::wstring(first) + L";" + found) << compiler;
    EXPECT_EQ(_wgetenv(L"PATH"), std::wstring(first) + L";" + found) << compiler;
  }
}

TEST(RunCommand, RefusesALineThatIsNotUtf8AndSaysWhy) {
  std::ostringstream err;
  std::streambuf* const old = std::cerr.rdbuf(err.rdbuf());
  const int status = Run_command("cmd /c \xff");
  std::cerr.rdbuf(old);
  EXPECT_NE(status, 0);
  EXPECT_NE(err.str().find("UTF-8"), std::string::npos) << err.str();
}
#endif

}  // namespace
