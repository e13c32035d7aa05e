// The one seam between Tavrel (and its pauser) and the operating system.
// Behind it, one file per concern and system, chosen by the build:
// console_* (output, line input, code pages), keys_* (the pause's key),
// process_* (children; on Windows Run_command and Use_compiler_folder),
// path_* (To_path), save_* (the data file's save), pacing_* (precise short
// sleeps; pacing_none.cpp for the fuzz targets and the unpaced test build);
// what needs no system call in keys.cpp (the pause sequence) and
// platform_common.cpp (the status queries, line reading). On POSIX,
// Run_command and Use_compiler_folder are the cmd stand-in's, in
// src/cmd_standin/. Paths and command lines cross as UTF-8 byte strings.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Switches the console's input and output code pages to UTF-8 (65001); the
// ones it found come back when the process ends normally (Windows). Failures
// are ignored: the console then stays as it was. On other systems, whose
// terminals are UTF-8 already, output is unbuffered and SIGPIPE ignored.
void Set_console_utf8();

// Makes the short sleeps of the typewriter's pace precise for the rest of
// the run (the system's timer resolution or slack). Failures are ignored.
void Set_up_pacing();

// Gives SIGCHLD its default action (POSIX): inherited as ignored, it would
// keep every child from being waited for. Nothing on Windows.
void Reset_child_signal();

// Puts the folder of the compiler `com_path` first on the PATH that this
// process's children inherit, in place of the folder an earlier call put
// there, so that programs linked against the compiler's runtime DLLs start
// (Windows). Nothing else in the environment changes; nothing on other
// systems, where programs find their libraries by other means.
void Use_compiler_folder(const std::string& com_path);

// Puts TAVREL_OUTPUT_CP=`code_page` into the environment this process's
// children inherit, or takes it out for an empty `code_page` (Windows): our
// pauser shows the program's output in that code page. Nothing on other
// systems, whose terminals are UTF-8.
void Tell_output_code_page(const std::string& code_page);

// Writes bytes to standard output and shows them at once. On a Windows
// console a character shows when its last UTF-8 byte has arrived.
void Write_out(std::string_view bytes);

// Reads one line from standard input, up to and without the line feed, into
// `s`, keeping at most `keep` bytes of it; the rest of the line is consumed
// and dropped. Returns false only when input had ended before a byte was
// read (then `s` is empty); a last line without a line feed is returned.
bool Read_line(std::string& s, std::size_t keep = std::string::npos);

// The prompt of the interpreter's pause, as a Chinese Windows console shows it.
extern const char* const PAUSE_PROMPT;

// Drops every key typed and not read yet; nothing when standard input is not
// a console or terminal.
void Drop_typed_keys();

// Waits for one key, without echo and without Enter, when standard input is
// a console or terminal; returns at once otherwise.
void Wait_for_key();

// The interpreter's pause: PAUSE_PROMPT, Wait_for_key, a line feed.
void Pause_for_key();

// Runs one command line through the command interpreter in this console and
// waits for it: `cmd /d /c LINE` on Windows (%ComSpec%, else the system
// folder's cmd.exe), a small stand-in on other systems. Standard output is
// flushed first. Returns the command's exit status, -1 when it could not be
// run. On Windows a line that begins with "cmd /c " is that interpreter's
// own command line, so that one cmd, not two, parses it.
int Run_command(const std::string& line);

// cmd's exit status for a command or program it could not start; the stand-in
// and the pauser give it too.
constexpr int NOT_RUN = 9009;

// Sleeps for `micros` microseconds; returns at once for 0 or less.
void Sleep_micros(long long micros);

// Microseconds on a steady clock, from a start of its own.
long long Now_micros();

// Sleeps until Now_micros() has reached `deadline`; at once when it has.
void Sleep_until_micros(long long deadline);

// Turns a UTF-8 path into a file-system path. Returns false when no file can
// have that name: a NUL byte; on POSIX a double quote (which Windows forbids
// in names, and which Tavrel never uses elsewhere); on Windows bytes that
// are not UTF-8 (a '"' there is left for the system to refuse).
bool To_path(const std::string& utf8, std::filesystem::path& path);

// The path to hand a program started in a new window, for `path` as typed:
// absolute on POSIX, where a launcher may start it in another folder (no
// ".." folded: after a link it names another folder); unchanged on Windows,
// where start keeps the working folder.
std::string Path_for_new_window(const std::string& path);

// What to show once before the first menu when commands cannot run in the
// working folder: on Windows a network folder (\\server\share), where cmd
// runs in the Windows folder instead, with how to reach it by a drive
// letter. Empty otherwise, and always on other systems.
std::string Folder_notice();

// Whether the file `path` cannot be opened for writing because another
// process uses it, as a running program's own .exe is (Windows). Always
// false on other systems, where a linker replaces a running program's file.
bool Held_by_a_program(const std::string& path);

// Status queries that follow symbolic links and never throw. Any failure to
// answer (including a path that To_path refuses) counts as "does not
// exist" / "not a regular file".
bool Path_exists(const std::string& path);
bool Is_regular_file(const std::string& path);

// Puts `bytes` in place of the file `path` without ever losing the old one:
// removes an empty directory (not a link) of that name, writes a temporary
// file beside it, flushes it to disk, then moves it over `path` in one step.
// On Windows the move is tried again for about a second while another
// process (a virus scanner, the indexer) holds `path`. Returns false on any
// failure; `path` is then as it was and no temporary file is left. `why`
// then holds one line for the user on Windows, the folder and the system's
// message; it is left empty on other systems, whose transcripts never had it.
// On POSIX every signal that can be held waits until the save is over; on
// Windows a console event waits for it.
bool Replace_file(const std::string& path, const std::string& bytes, std::string& why);

// Gives the file the hidden attribute and no other (Windows); does nothing
// on other systems, where there is no such attribute.
void Mark_hidden(const std::string& path);
