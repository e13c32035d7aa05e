// tavrel-start MARK PROGRAM [ARGS...]: the step between a terminal program
// and the program Tavrel starts in its window. It creates the file MARK,
// which only Tavrel knows, just before it becomes PROGRAM, so that Tavrel
// can tell a start from a launcher that failed without starting anything.
// Unlike a shell it parses nothing: each argument stays one.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("用法：tavrel-start 标记文件 程序 [参数...]\n", stderr);
    return 2;
  }
  const int mark = open(argv[1], O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (mark >= 0) close(mark);
  execv(argv[2], argv + 2);
  const int error = errno;
  // Not started after all.
  if (mark >= 0) unlink(argv[1]);
  std::fprintf(stderr, "无法启动程序：%s（%s）\n", argv[2], std::strerror(error));
  return error == ENOENT ? 127 : 126;
}
