// Starts a program as a child with its standard streams on given
// descriptors (POSIX): shared by the end-to-end harness and the benchmark.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

// Forks; the child moves to `dir`, puts `in`, `out` and `err` (when not -1)
// on descriptors 0, 1 and 2, runs `prepare` and executes argv[0] as a path.
// It exits with 126 when it cannot set up, 127 when the exec fails.
template <class Prepare>
pid_t Start_child(const std::vector<std::string>& args, const std::string& dir, int in, int out,
                  int err, Prepare prepare) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(126);
  const int fds[] = {in, out, err};
  for (int i = 0; i < 3; ++i)
    if (fds[i] >= 0 && dup2(fds[i], i) < 0) _exit(126);
  prepare();
  execv(argv[0], argv.data());
  _exit(127);
}
