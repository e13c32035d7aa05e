// tavrel-pauser: runs a program in this console, waits for it, tells how it
// ended, how long it ran and how much memory it took, then keeps the window
// open until a key is pressed. Usage: tavrel-pauser PROGRAM [ARGS...]
#pragma once

#include <string>
#include <string_view>

// The whole run; returns the pauser's exit status: the program's own, or
// 128 + the signal that ended it (POSIX); 9009 on Windows and 127 / 126 on
// POSIX when the program cannot be found / run, as the shells there say.
int Pauser_main(int argc, char** argv);

// How one run of the program went, as the system tells it.
struct Pauser_run {
  std::string ended = "";   // the line that tells how it ended
  std::string cause = "";   // its likely cause, or empty
  std::string failed = "";  // the line for a program that could not start; empty when it ran
  int status = 0;           // the pauser's exit status
  bool waited = false;      // whether its end is known
  double seconds = 0, cpu_seconds = 0;
  unsigned long long peak_bytes = 0;
};

// One per system: runs the program that the pauser's command line names,
// waits for it and tells how it went. Ctrl+C meanwhile is the program's.
Pauser_run Run_program(int argc, char** argv);

// One per system: the program the command line names, as typed, or false
// when it names none.
bool Program_named(int argc, char** argv, std::string& program);

// What is printed when the program has ended: a line break, a rule, the
// line that tells how, its likely cause when there is one, the wall and
// CPU time in seconds and the peak memory in MiB.
std::string End_summary(const Pauser_run& run);

// The likely cause of a Windows exit code, or of the POSIX signal that
// ended a program: a line without its line break, empty when there is none.
std::string Cause_of_code(unsigned long code);
std::string Cause_of_signal(int signal);

// How a program ended that returned `code`; `windows` shows it as a signed
// 32-bit value, as cmd does, and adds it in hexadecimal, with the name of a
// known exception.
std::string Exit_line(unsigned long code, bool windows);

// What is printed in place of the summary when the program could not be
// waited for: the rule and a line that says so.
std::string Unknown_end();

// Short Chinese names of the usual ways a program dies; empty when unknown.
std::string Exception_name(unsigned long code);

// The one line for a program that cannot be started, and for a missing one;
// on Windows the system's `reason` (its message and number) is told.
std::string Not_found_line(const std::string& program);
std::string Not_executable_line(const std::string& program);
std::string Start_failed_line(const std::string& program, const std::string& reason);
extern const char* const USAGE;

// Whether the pauser's first argument asks for its usage: "--help" or "-h"
// (a program of that name is still run as ./--help).
bool Asks_for_usage(std::string_view first);

// Prints `text` and the pause prompt, drops keys typed meanwhile, waits for
// a key where there is a console, and returns `status`.
int Finish(const std::string& text, int status);

// Windows command-line pieces, after the rules for a program's name (argv[0]):
// quoted up to the next quote, else up to the next blank or tab, no escapes.
// Program_token gives the name's extent; After_program what follows it,
// leading blanks dropped.
std::wstring_view Program_token(std::wstring_view line);
std::wstring_view After_program(std::wstring_view line);
