// Runs a program the way a user would, with scripted standard input.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "files.h"
#include "platform/scoped.h"

struct Outcome {
  std::string out;  // all of standard output
  std::string err;
  int status = -1;  // exit status, or 128 + signal
  double seconds = 0;
  double slept = -1;  // what tavrel_unpaced was asked to sleep, in seconds
};

struct Launch {
  std::vector<std::string> argv;
  std::vector<std::string> env;  // NAME=value, added to this process's own,
                                 // which loses TMUX, DISPLAY and WAYLAND_DISPLAY
  std::string dir;               // working directory
  std::string input;             // the whole of standard input
  uid_t as_uid = 0;              // root's run as another user, when not 0
  gid_t as_gid = 0;
  long file_size_limit = -1;          // RLIMIT_FSIZE in bytes, when not -1
  bool child_signal_ignored = false;  // SIGCHLD inherited as ignored
  int high_descriptor = -1;           // one more inherited descriptor, at this number
  // The standard streams left O_NONBLOCK, as by an earlier program; here
  // standard output is then a pipe, read only after half a second.
  bool nonblocking = false;
  bool reader_gone = false;  // standard output a pipe that nobody reads any more
  int deadline = 120;        // seconds; then the program is killed
};

// Runs the program and waits for it. One that outlives its deadline is
// killed with its process group, and the test fails with what it printed.
Outcome Run_program(const Launch& launch);
