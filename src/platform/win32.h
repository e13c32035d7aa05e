// Pieces of the Windows platform files that they, and the pauser's Windows
// file, share.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

// UTF-8 to UTF-16. Fails on bytes that are not UTF-8 unless `lossy`, which
// turns them into U+FFFD instead.
bool Widen(const std::string& utf8, std::wstring& wide, bool lossy = false);

// The standard handle `which` when it is a console, else nullptr.
HANDLE Console(DWORD which);
