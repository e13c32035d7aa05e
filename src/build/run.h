// The run-code operation behind main-menu choice 1, and the pieces of it
// that decide which file is taken and which command lines are run.
#pragma once

#include <string>

// Asks for a source file, compiles it when needed or wanted, and starts it in
// a new console window on request, then pauses. Returns to the main menu at
// once, without a pause, when input ends at the source-path prompt.
void Run();

// Whether a typed line names a C++ source: more than 3 bytes, an existing
// regular file (links followed), and "cpp" in any ASCII letter case after
// its last '.'. A line holding NUL, too long to be a name, or (on Windows)
// not UTF-8 is refused.
bool Is_source(const std::string& fpath);

// The executable's path for an accepted source: `fpath` without its last 4
// bytes, then ".exe".
std::string Exe_path(const std::string& fpath);

// The code page that a program compiled with `com_settings` from the bytes
// `source` writes in, for our pauser's console: from the last
// -fexec-charset=NAME (UTF-8 65001; GBK, CP936, GB2312 936; GB18030 54936;
// any other name ""), else 65001 for a UTF-8 source with a non-ASCII byte,
// else "" (a GBK source writes what the console already shows).
std::string Output_code_page(const std::string& com_settings, const std::string& source);

// cmd /c ""COM_PATH" COM_SETTINGS -g -o "epath" "fpath"", nothing escaped.
std::string Compile_line(const std::string& com_path, const std::string& com_settings,
                         const std::string& epath, const std::string& fpath);

// start "fpath" "epath": the source names the new window.
std::string Start_line(const std::string& fpath, const std::string& epath);

// start "" CON_PATH "epath": the executable the pauser's one argument; the
// pauser unquoted, unless it holds a blank, a tab or one of cmd's special
// characters &()[]{}^=;!'+,`~ (then in double quotes, so it can start).
std::string Pauser_line(const std::string& con_path, const std::string& epath);
