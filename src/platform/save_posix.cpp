// The data file's save on POSIX: a temporary file moved over the old one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix.h"

namespace {

// The umask, which can only be read by setting it.
mode_t Current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

bool Write_all(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = Retrying([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool Replace_file(const std::string& path, const std::string& bytes, std::string& /*why*/) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && rmdir(path.c_str()) != 0)
    return false;
  // Held until the file is in place or cleaned up, so that no signal from
  // outside (a timer's, a real-time one included) leaves a temporary file
  // behind; only SIGKILL and SIGSTOP cannot wait.
  // A file-size limit must fail the write, not kill the program before it
  // can keep the old file: ignored still when the hold ends.
  const auto xfsz = Set_action(SIGXFSZ, SIG_IGN);
  const auto held = Hold_signals();
  // A name nobody can foresee, created only if nothing (not even a link)
  // stands there; mkstemp's 0600 widened to what the umask allows.
  std::string tmp = path + ".XXXXXX.tmp";
  const int fd = mkostemps(tmp.data(), 4, O_CLOEXEC);
  if (fd < 0) return false;
  fchmod(fd, 0666 & ~Current_umask());
  bool ok = Write_all(fd, bytes);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

// No such attribute here: a leading dot would be another name.
void Mark_hidden(const std::string& /*path*/) {}
