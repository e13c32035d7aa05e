#include "e2e/harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string root;  // this run's own, so that runs side by side keep apart

void Remove_root_if_empty() { rmdir(root.c_str()); }

}  // namespace

std::string Make_test_dir() {
  if (root.empty()) {
    std::string name = (fs::temp_directory_path() / "tavrel-e2e-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root = name;
    // Some tests run the program as another user, who must reach its folder.
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    std::atexit(Remove_root_if_empty);
  }
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  const fs::path dir = fs::path(root) / name;
  fs::create_directories(dir);
  return dir.string();
}

Outcome Run_program(const Launch& launch) {
  // Beside the working directory, so that the program's files stand alone.
  const std::string in = launch.dir + ".stdin", out = launch.dir + ".stdout",
                    err = launch.dir + ".stderr";
  Write_file(in, launch.input);
  std::vector<char*> argv;
  for (const std::string& a : launch.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    // A file, not a pipe: all of the input is there from the start, so a
    // child of the program (Wine's pause) finds what the program left.
    const int fin = open(in.c_str(), O_RDONLY);
    const int fout = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int ferr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fin < 0 || fout < 0 || ferr < 0 || chdir(launch.dir.c_str()) != 0) _exit(126);
    dup2(fin, 0);
    dup2(fout, 1);
    dup2(ferr, 2);
    close(fin);
    close(fout);
    close(ferr);
    // No new windows unless a test asks for them.
    for (const char* name : {"TMUX", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    for (const std::string& e : launch.env) putenv(const_cast<char*>(e.c_str()));
    if (launch.file_size_limit >= 0) {
      const rlimit r{static_cast<rlim_t>(launch.file_size_limit),
                     static_cast<rlim_t>(launch.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    if (launch.as_nobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome o;
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  o.out = Read_file(out);
  o.err = Read_file(err);
  fs::remove(in);
  fs::remove(out);
  fs::remove(err);
  return o;
}
