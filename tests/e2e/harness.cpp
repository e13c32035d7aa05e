#include "e2e/harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "child.h"

namespace fs = std::filesystem;

Outcome Run_program(const Launch& launch) {
  // Beside the working directory, so that the program's files stand alone.
  const std::string in = launch.dir + ".stdin", out = launch.dir + ".stdout",
                    err = launch.dir + ".stderr", slept = launch.dir + ".slept";
  const std::string slept_env = "TAVREL_SLEEPS=" + slept;
  Write_file(in, launch.input);
  // A file, not a pipe: all of the input is there from the start, so a
  // child of the program (Wine's pause) finds what the program left.
  const int fin = open(in.c_str(), O_RDONLY | O_CLOEXEC);
  int pipe_out[2] = {-1, -1};
  if (launch.nonblocking && pipe2(pipe_out, O_CLOEXEC | O_NONBLOCK) != 0) return {};
  int fout = launch.nonblocking ? pipe_out[1]
                                : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const int ferr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const auto closing = Scoped{[&] {
    for (const int fd : {fin, fout, ferr, pipe_out[0]})
      if (fd >= 0) close(fd);
  }};
  if (fin < 0 || fout < 0 || ferr < 0) {
    ADD_FAILURE() << "cannot open the standard streams beside " << launch.dir;
    return {};
  }
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = Start_child(launch.argv, launch.dir, fin, fout, ferr, [&] {
    setpgid(0, 0);  // one group, killed whole when it outlives its deadline
    // No new windows unless a test asks for them.
    for (const char* name : {"TMUX", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    putenv(const_cast<char*>(slept_env.c_str()));
    for (const std::string& e : launch.env) putenv(const_cast<char*>(e.c_str()));
    if (launch.file_size_limit >= 0) {
      const rlimit r{static_cast<rlim_t>(launch.file_size_limit),
                     static_cast<rlim_t>(launch.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    if (launch.child_signal_ignored) signal(SIGCHLD, SIG_IGN);
    int gone[2];
    if (launch.reader_gone && (pipe(gone) != 0 || dup2(gone[1], STDOUT_FILENO) < 0 ||
                               close(gone[0]) != 0 || close(gone[1]) != 0))
      _exit(126);
    rlimit open{};
    if (launch.high_descriptor >= 0 &&
        (getrlimit(RLIMIT_NOFILE, &open) != 0 ||
         (open.rlim_cur = open.rlim_max, setrlimit(RLIMIT_NOFILE, &open)) != 0 ||
         dup2(STDERR_FILENO, launch.high_descriptor) < 0))
      _exit(126);
    if (launch.as_uid != 0 && (setgid(launch.as_gid) != 0 || setuid(launch.as_uid) != 0))
      _exit(126);
  });
  if (launch.nonblocking) {
    close(fout);
    fout = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  std::string piped;
  const auto drain = [&] {
    char buf[65536];
    for (ssize_t n; pipe_out[0] >= 0 && (n = read(pipe_out[0], buf, sizeof buf)) > 0;)
      piped.append(buf, static_cast<std::size_t>(n));
  };
  int wstatus = 0;
  bool late = false;
  while (drain(), waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(launch.deadline)) {
      late = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Outcome o;
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  drain();
  o.out = launch.nonblocking ? piped : Read_file(out);
  o.err = Read_file(err);
  double micros = 0;
  if (std::ifstream f(slept); f >> micros) o.slept = micros / 1e6;
  if (late)
    ADD_FAILURE() << launch.argv[0] << " still ran after " << launch.deadline
                  << " s and was killed. Standard output:\n"
                  << o.out << "\nStandard error:\n"
                  << o.err;
  for (const std::string& file : {in, out, err, slept}) fs::remove(file);
  return o;
}
