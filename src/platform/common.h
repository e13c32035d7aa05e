// Pieces shared by the platform files; not for use outside src/platform.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

// The line reading of Read_line over any stream buffer.
bool Read_stream_line(std::streambuf& in, std::string& s, std::size_t keep);

// The length of the longest prefix of `s` that ends on a whole UTF-8
// character; what follows is the start of a character still to come.
// Stray or invalid bytes count as whole, so nothing waits for ever.
std::size_t Whole_characters(const std::string& s);

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
