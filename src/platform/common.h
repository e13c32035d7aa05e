// Pieces shared by the platform files; not for use outside src/platform.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

// The line reading of Read_line over any stream buffer.
bool Read_stream_line(std::streambuf& in, std::string& s, std::size_t keep);
