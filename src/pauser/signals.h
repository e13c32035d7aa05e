// How a program ended that a signal killed: POSIX systems only, defined in
// pauser_posix.cpp.
#pragma once

#include <string>

// The signal's number, with its name and what it means when known.
std::string Signal_line(int signal);
