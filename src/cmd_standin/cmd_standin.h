// The Linux stand-in for the Windows command interpreter, behind the
// Run_command of platform.h: "cls", "title ...", "pause", "cmd /c ..." and
// "start ..." (interpreter.cpp), with new windows through tmux or a terminal
// program (new_window.cpp). It never uses a shell. Built into the Linux
// tavrel only; on Windows cmd itself runs these lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits a command line into fields as a Windows program's C runtime does:
// blanks and tabs separate fields, a double quote turns quoting on or off
// and is dropped, `""` is one empty field. Backslashes are ordinary bytes
// except before a quote: 2n of them and the quote give n backslashes and
// switch quoting, 2n+1 give n backslashes and a literal quote. The first
// field, the program's name, is read without escapes: quoted up to the next
// quote, else up to a blank or tab.
std::vector<std::string> Split_fields(std::string_view line);

// The terminal launchers tried, in this order, when there is a display.
inline constexpr const char* LAUNCHERS[] = {"xdg-terminal-exec", "x-terminal-emulator",
                                            "gnome-terminal",    "konsole",
                                            "xfce4-terminal",    "xterm"};

// The argument list that shows `program` (an absolute path, then its
// arguments: always more than one, as the start step makes it) in a new
// window of `launcher` ("tmux" or one of LAUNCHERS), titled `title` where
// the launcher takes a title and `title` is not empty, starting in `dir`.
// Element 0 is the launcher's bare name.
std::vector<std::string> Window_command(std::string_view launcher, const std::string& title,
                                        const std::string& dir,
                                        const std::vector<std::string>& program);

// Starts `args` (a launcher's command) without waiting: in a session of its
// own, so that Ctrl+C or a closed terminal does not reach it, watched by an
// intermediate child for half a second, so that no zombie stays. False only
// when it failed within that time (no display there, say).
bool Run_detached(const std::vector<std::string>& args);

// tavrel-start, the step that marks a start in a new window: beside this
// program (a build) or in ../libexec/tavrel (an installed one).
std::optional<std::string> Find_start_step();

// Whether `path` is a regular file we may execute (links followed).
bool Is_executable_file(const std::string& path);

// The first executable file called `name` in the absolute folders of PATH.
std::optional<std::string> Find_on_path(const std::string& name);
