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

// The standard handle `which` when it is a console, else nullptr.
HANDLE Console(DWORD which);

// Closes the handle `h` when the scope ends, unless it is null or invalid.
inline auto Closing_handle(HANDLE h) {
  return Scoped{[h] {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }};
}

// How long the layer waits out a brief hold (a scanner on a fresh file, a
// console read interrupted by Ctrl+C): this many tries, RETRY_MS apart.
constexpr int RETRIES = 100;
constexpr DWORD RETRY_MS = 10;
