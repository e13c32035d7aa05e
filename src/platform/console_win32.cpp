// Console output, line input and code pages on Windows.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <iostream>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// UTF-16 units asked of the console per read.
constexpr DWORD READ_UNITS = 512;

// The code pages the console had when Tavrel started.
UINT found_in = 0, found_out = 0;
// Saves under way: a console event waits for them. Once one has come, no
// save begins.
std::atomic<int> saving{0};
std::atomic<bool> ending{false};

void Restore_code_pages() {
  SetConsoleCP(found_in);
  SetConsoleOutputCP(found_out);
}

// Runs on a thread of its own. The save in progress ends first, then the
// default handler ends the process as before, still without the save. The
// wait is the save's own retry budget at most: Ctrl+C has no system
// timeout, and the close event leaves about 5 s.
BOOL WINAPI On_console_event(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    ending = true;
    for (int waited = 0; saving > 0 && waited < 3 * RETRIES; ++waited) Sleep(RETRY_MS);
    Restore_code_pages();
  }
  return FALSE;
}

// Reading a console byte-wise through the C runtime loses every non-ASCII
// character even with input code page 65001, so a console is read as UTF-16.
bool Read_console_line(HANDLE in, std::string& s, std::size_t keep) {
  static std::wstring pending;  // what one read brought beyond the line
  s.clear();
  std::size_t end;
  int interrupts = 0;
  while ((end = pending.find(L'\n')) == std::wstring::npos) {
    wchar_t buf[READ_UNITS];
    DWORD n = 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL read = ReadConsoleW(in, buf, READ_UNITS, &n, nullptr);
    // Ctrl+C interrupts the read: no end of input, since the console's own
    // handler is about to end the process without the save.
    if (n == 0 && GetLastError() == ERROR_OPERATION_ABORTED && ++interrupts < RETRIES) {
      Sleep(RETRY_MS);
      continue;
    }
    if (!read || n == 0) break;
    pending.append(buf, n);
  }
  if (pending.empty() || pending[0] == 0x1A) {  // Ctrl+Z ends input, as in cmd
    pending.clear();
    return false;
  }
  std::wstring line = pending.substr(0, end);
  pending.erase(0, end == std::wstring::npos ? end : end + 1);
  if (!line.empty() && line.back() == L'\r') line.pop_back();
  s = Narrow(line);
  if (s.size() > keep) s.resize(keep);
  return true;
}

}  // namespace

namespace {

// The C runtime's console output, and WriteConsoleA fed byte by byte, turn
// UTF-8 into mojibake on some consoles, so whole characters go out as
// UTF-16; a stream that is no console gets the bytes as they are.
void Write_to(HANDLE out, std::ostream& stream, std::string& pending, std::string_view bytes) {
  if (out == nullptr) {
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream.flush();
    return;
  }
  pending.append(bytes);
  const std::size_t whole = Whole_characters(pending);
  std::wstring wide;
  Widen(pending.substr(0, whole), wide, true);
  pending.erase(0, whole);
  DWORD written = 0;
  if (!wide.empty())
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

}  // namespace

void Write_out(std::string_view bytes) {
  static const HANDLE out = Console(STD_OUTPUT_HANDLE);
  static std::string pending;
  Write_to(out, std::cout, pending, bytes);
}

void Write_err(std::string_view bytes) {
  static const HANDLE err = Console(STD_ERROR_HANDLE);
  static std::string pending;
  std::cout.flush();
  Write_to(err, std::cerr, pending, bytes);
}

void Set_console_utf8() {
  // The cmd window Tavrel was started from gets its own code pages back:
  // left at 65001, cmd there speaks English and console input of Chinese
  // text breaks in the programs run from it. Also at Ctrl+C, Ctrl+Break
  // and the close button, whose default handler ends the process without
  // the atexit list.
  found_in = GetConsoleCP();
  found_out = GetConsoleOutputCP();
  if (found_in != 0 && found_out != 0) {
    std::atexit(Restore_code_pages);
    SetConsoleCtrlHandler(On_console_event, TRUE);
  }
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

Scoped<void (*)()> Holding_console_events() {
  ++saving;
  return Scoped<void (*)()>{[] { --saving; }};
}

bool Console_ending() { return ending; }

bool Read_line(std::string& s, std::size_t keep) {
  if (const HANDLE in = Console(STD_INPUT_HANDLE)) return Read_console_line(in, s, keep);
  return Read_stream_line(*std::cin.rdbuf(), s, keep);
}
