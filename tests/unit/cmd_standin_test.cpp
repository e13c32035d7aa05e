#include "cmd_standin/cmd_standin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "files.h"

namespace {

using Fields = std::vector<std::string>;

TEST(SplitFields, SplitsAsCmdHandsArgumentsOn) {
  const struct {
    std::string line;
    Fields fields;
  } cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"a b\tc", {"a", "b", "c"}},
      {"  a  ", {"a"}},
      {"-O2 -Wall", {"-O2", "-Wall"}},
      {"\"\" x \"y z\"", {"", "x", "y z"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
      // A program's own name: up to a blank, or quoted up to the next quote; no escapes.
      {"a\"b c", {"a\"b", "c"}},
      {"\"/opt/odd\\\" -O2 \"a b\"", {"/opt/odd\\", "-O2", "a b"}},
      {"C:\\dir\\ \"x\"", {"C:\\dir\\", "x"}},  // a backslash is ordinary
      {"p -DS=\\\"hi\\\" \"a b\\\\\" \\\\\\\"c d\"", {"p", "-DS=\"hi\"", "a b\\", "\\\"c", "d"}},
      {"\"open x", {"open x"}},
      {"\"/usr/bin/g++\"  -g -o \"中 文.exe\" \"中 文.cpp\"",
       {"/usr/bin/g++", "-g", "-o", "中 文.exe", "中 文.cpp"}},
      {"a;$(b)`c`&d", {"a;$(b)`c`&d"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split_fields(c.line), c.fields) << c.line;
}

TEST(WindowCommand, GivesEachLauncherTheProgramAsSeparateArguments) {
  const Fields alone{"/s/tavrel-start", "/m/started", "/w d/a.exe"}, with_arg{"/t/cp", "a.exe"};
  const auto join = [](Fields a, const Fields& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const struct {
    const char* launcher;
    std::string title;
    Fields program, argv;
  } cases[] = {
      {"tmux", "a.cpp", alone,
       join({"tmux", "new-window", "-c", "/w d", "-n", "a.cpp", "--"}, alone)},
      {"tmux", "", with_arg, join({"tmux", "new-window", "-c", "/w d", "--"}, with_arg)},
      {"tmux", "#H #(x).cpp", with_arg,
       join({"tmux", "new-window", "-c", "/w d", "-n", "##H ##(x).cpp", "--"}, with_arg)},
      {"xdg-terminal-exec", "t", alone, join({"xdg-terminal-exec"}, alone)},
      {"x-terminal-emulator", "t", alone, join({"x-terminal-emulator", "-T", "t", "-e"}, alone)},
      {"gnome-terminal", "t", with_arg,
       join({"gnome-terminal", "--working-directory=/w d", "--"}, with_arg)},
      {"konsole", "t", alone, join({"konsole", "--workdir", "/w d", "-e"}, alone)},
      {"xfce4-terminal", "-a #b", with_arg,
       join({"xfce4-terminal", "--working-directory=/w d", "--title=-a #b", "-x"}, with_arg)},
      {"xfce4-terminal", "", alone,
       join({"xfce4-terminal", "--working-directory=/w d", "-x"}, alone)},
      {"xterm", "", with_arg, join({"xterm", "-e"}, with_arg)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Window_command(c.launcher, c.title, "/w d", c.program), c.argv) << c.launcher;
}

class Program : public In_temp_dir {};

// What start takes for a program: a regular file that may be executed.
TEST_F(Program, IsARegularFileThatMayBeExecuted) {
  Write_file("plain", "x");
  Write_file("runnable", "x");
  chmod("runnable", 0755);
  std::filesystem::create_directory("folder");
  for (const char* name : {"missing", "plain", "folder"}) EXPECT_FALSE(Is_executable_file(name));
  EXPECT_TRUE(Is_executable_file("runnable"));
}

}  // namespace
