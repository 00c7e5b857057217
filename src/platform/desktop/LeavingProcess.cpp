#include "platform/desktop/LeavingProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

int runOver = -1;  // the child's end of the pipe the started process waits on

}  // namespace

void runInAChildProcess() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return;
  const pid_t started = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return;
  }
  if (child == 0) {
    ::close(ends[0]);
    runOver = ends[1];
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != started) ::raise(SIGTERM);  // it went before the line above
    return;
  }
  // The started process: the code the child sends, or, when it ends without
  // one, its own end.
  ::close(ends[1]);
  unsigned char code = 0;
  ssize_t got;
  while ((got = ::read(ends[0], &code, 1)) < 0 && errno == EINTR) {
  }
  if (got == 1) ::_exit(code);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

void runIsOver(int code) {
  if (runOver < 0) return;
  // The started process ends now; this one ends its run as it would alone.
  ::prctl(PR_SET_PDEATHSIG, 0);
  const auto byte = static_cast<unsigned char>(code);
  while (::write(runOver, &byte, 1) < 0 && errno == EINTR) {
  }
  ::close(runOver);
  runOver = -1;
}

}  // namespace platform
