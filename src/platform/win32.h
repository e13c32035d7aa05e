// Pieces of the Windows platform files that they, and the pauser's Windows
// file, share (win32.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/scoped.h"

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

// UTF-8 to UTF-16. Fails on bytes that are not UTF-8 unless `lossy`, which
// turns them into U+FFFD instead.
bool Widen(const std::string& utf8, std::wstring& wide, bool lossy = false);

// Writes `bytes` to standard error as Write_out does to standard output.
void Write_err(std::string_view bytes);

// The standard handle `which` when it is a console, else nullptr.
HANDLE Console(DWORD which);

// The system's message for the error `error`, without its line break, then
// its number: "Access is denied.（错误 5）"; the number alone when the system
// has no message for it. Each insert (%1 to %9) becomes `insert` when that
// is given.
std::string System_message(DWORD error, const std::string& insert = "");

// The command line cmd gets for Run_command's `line`: "cmd /d /c " (no
// AutoRun from the registry before it), then `line`, or for a line that
// begins with "cmd /c " what follows that.
std::wstring Interpreter_line(std::wstring_view line);

// The working folder, however long; empty when it cannot be had.
std::wstring Current_folder();

// Whether cmd takes `folder` for a network folder it cannot run in:
// \\server\share and \\?\UNC\server\share, not \\?\C:\ or \\.\ paths.
bool Is_network_folder(std::wstring_view folder);

// Closes the handle `h` when the scope ends, unless it is null or invalid.
inline auto Closing_handle(HANDLE h) {
  return Scoped{[h] {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }};
}

// Until the scope ends, Ctrl+C, Ctrl+Break and the close button wait before
// they end the process (after Set_console_utf8): for the save.
Scoped<void (*)()> Holding_console_events();

// Whether Ctrl+C, Ctrl+Break or the close button has come: the process is
// about to end, and no save may begin (asked while holding the events).
bool Console_ending();

// How long the layer waits out a brief hold (a scanner on a fresh file, a
// console read interrupted by Ctrl+C): this many tries, RETRY_MS apart.
constexpr int RETRIES = 100;
constexpr DWORD RETRY_MS = 10;
