// The byte-level pieces behind platform.h that need no operating system
// (platform_common.cpp), declared for the platform files and tested
// directly.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

// The line reading of Read_line over any stream buffer. When the buffer
// gives out, `again` (if any) may say that input goes on after all, and
// reading resumes.
bool Read_stream_line(std::streambuf& in, std::string& s, std::size_t keep,
                      bool (*again)() = nullptr);

// The length of the longest prefix of `s` that ends on a whole UTF-8
// character; what follows is the start of a character still to come.
// Stray or invalid bytes count as whole, so nothing waits for ever.
std::size_t Whole_characters(const std::string& s);
