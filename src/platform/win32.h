// Pieces of the Windows platform file that the pauser's Windows file shares.
#pragma once

#include <string>
#include <string_view>

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);
