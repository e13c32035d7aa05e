// The Linux stand-in for the Windows command interpreter (interpreter_posix.cpp):
// the POSIX Run_command of platform.h takes "cls", "title ...", "pause",
// "cmd /c ..." and "start ..." here, and never uses a shell. Not built for
// Windows, where cmd itself runs them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a command line into fields as cmd hands them to a program: blanks
// and tabs separate fields, a double quote turns quoting on or off and is
// dropped, a backslash is an ordinary byte. `""` is one empty field.
std::vector<std::string> Split_fields(std::string_view line);

// The terminal launchers tried, in this order, when there is a display.
inline constexpr const char* LAUNCHERS[] = {"xdg-terminal-exec", "x-terminal-emulator",
                                            "gnome-terminal",    "konsole",
                                            "xfce4-terminal",    "xterm"};

// The argument list that shows `program` (an absolute path, then its
// arguments) in a new window of `launcher` ("tmux" or one of LAUNCHERS),
// titled `title` where the launcher takes a title and `title` is not empty,
// starting in `dir`. Element 0 is the launcher's bare name.
std::vector<std::string> Window_command(std::string_view launcher, const std::string& title,
                                        const std::string& dir, std::vector<std::string> program);
