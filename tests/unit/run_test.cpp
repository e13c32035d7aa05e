#include "build/run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files.h"

namespace {

namespace fs = std::filesystem;

fs::path U8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

using Source = In_temp_dir;

TEST_F(Source, AcceptsExistingCppFilesAndDerivesTheExecutable) {
  for (const char* file :
       {"a.c", "cpp", "prog.cpp.bak", "a.cpp ", "X.CPP", "x.Cpp", "archive.tar.cpp", ".cpp",
        "a.cpp", "code.old/main", "中文 目录/你好 世界.cpp"}) {
    if (U8(file).has_parent_path()) fs::create_directories(U8(file).parent_path());
    Write_file(U8(file), "int main() {}\n");
  }
  fs::create_directory("src.cpp");
  const struct {
    std::string fpath;
    bool accepted;
    std::string epath;
  } cases[] = {
      {"", false, ""},
      {"a.c", false, ""},  // three bytes: no query at all
      {"cpp", false, ""},  // all extension, no name
      {"missing.cpp", false, ""},
      {"src.cpp", false, ""},  // a directory
      {"prog.cpp.bak", false, ""},
      {"a.cpp ", false, ""},  // the blank is part of the extension
      {"code.old/main", false, ""},
      {"X.CPP", true, "X.exe"},
      {"x.Cpp", true, "x.exe"},
      {"archive.tar.cpp", true, "archive.tar.exe"},
      {".cpp", true, ".exe"},
      {"中文 目录/你好 世界.cpp", true, "中文 目录/你好 世界.exe"},
      {std::string("a.cpp\0.cpp", 10), false, ""},  // "a.cpp" exists
      {std::string(200000, 'a') + ".cpp", false, ""},
      {"\xff\xfe.cpp", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Is_source(c.fpath), c.accepted) << c.fpath;
    EXPECT_EQ(c.accepted ? Exe_path(c.fpath) : "", c.epath) << c.fpath;
  }
#ifndef _WIN32
  fs::create_symlink("X.CPP", "link.cpp");
  EXPECT_TRUE(Is_source("link.cpp"));
  fs::create_symlink("src.cpp", "dirlink.cpp");
  EXPECT_FALSE(Is_source("dirlink.cpp"));
#endif
}

TEST(OutputCodePage, FollowsTheLastExecCharsetElseAUtf8Source) {
  const std::string utf8 = "你好", gbk = "\xc4\xe3\xba\xc3";
  const struct {
    std::string options, source, code_page;
  } cases[] = {
      {"", "int main() {}", ""},
      {"-O2", utf8, "65001"},
      {"", "\xef\xbb\xbf", "65001"},  // a byte-order mark alone
      {"", gbk, ""},
      {"", "\xed\xa0\x80", ""},      // a surrogate
      {"", "\xc0\xaf", ""},          // an overlong '/'
      {"", "\xf4\x90\x80\x80", ""},  // past U+10FFFF
      {"", "\xe4\xbd", ""},          // cut short
      {"-fexec-charset=GBK", utf8, "936"},
      {"-fexec-charset=utf-8", gbk, "65001"},
      {"-fexec-charset=cp936 -O2", "", "936"},
      {"-fexec-charset=GB2312", "", "936"},
      {"-fexec-charset=UTF-8 -O2 -fexec-charset=GB18030", "", "54936"},
      {"-fexec-charset=BIG5", utf8, ""},
      {"\"-fexec-charset=GBK\"", utf8, "936"},
      {"-Dx-fexec-charset=GBK", utf8, "65001"},  // not an option of its own
  };
  for (const auto& c : cases)
    EXPECT_EQ(Output_code_page(c.options, c.source), c.code_page) << c.options << " " << c.source;
}

TEST(CommandLines, AreJoinedByteForByte) {
  const struct {
    std::string built, expected;
  } cases[] = {
      {Compile_line("C:\\tools\\bin\\g++.exe", "-O2 -Wall", "D:\\work\\a.exe", "D:\\work\\a.cpp"),
       "cmd /c \"\"C:\\tools\\bin\\g++.exe\" -O2 -Wall -g -o \"D:\\work\\a.exe\" "
       "\"D:\\work\\a.cpp\"\""},
      {Compile_line("g++", "", "a.exe", "a.cpp"), "cmd /c \"\"g++\"  -g -o \"a.exe\" \"a.cpp\"\""},
      {Compile_line("C:\\x y\\g++.exe", "\"-DX=1\"", "D:\\A.exe", "D:\\A.CPP"),
       "cmd /c \"\"C:\\x y\\g++.exe\" \"-DX=1\" -g -o \"D:\\A.exe\" \"D:\\A.CPP\"\""},
      {Start_line("D:\\work\\Hello.CPP", "D:\\work\\Hello.exe"),
       "start \"D:\\work\\Hello.CPP\" \"D:\\work\\Hello.exe\""},
      {Start_line("a.cpp", "a.exe"), "start \"a.cpp\" \"a.exe\""},
      {Pauser_line("C:\\Tools\\ConsolePauser.exe", "D:\\work\\Hello.exe"),
       "start \"\" C:\\Tools\\ConsolePauser.exe \"D:\\work\\Hello.exe\""},
      {Pauser_line("C:\\我的 工具\\p.exe", "D:\\work\\a.exe"),
       "start \"\" \"C:\\我的 工具\\p.exe\" \"D:\\work\\a.exe\""},
      {Pauser_line("C:\\a&b(1)\\p.exe", "a.exe"), "start \"\" \"C:\\a&b(1)\\p.exe\" \"a.exe\""},
      {Pauser_line("tavrel-pauser.exe", "a.exe"), "start \"\" tavrel-pauser.exe \"a.exe\""},
      {Pauser_line("/opt/my\ttools/p", "a.exe"), "start \"\" \"/opt/my\ttools/p\" \"a.exe\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.built, c.expected);
  EXPECT_EQ(cases[0].built.size(), 79u);
}

}  // namespace
