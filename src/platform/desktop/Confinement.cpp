#include "platform/desktop/Confinement.h"

#include <fcntl.h>
#include <linux/sched.h>
#include <malloc.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct FilterDeleter {
  void operator()(void* filter) const { seccomp_release(filter); }
};

bool allow(scmp_filter_ctx filter, int call) { return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0; }

// The call, allowed only where the argument, masked, is the value.
bool allowWhere(scmp_filter_ctx filter, int call, unsigned argument, scmp_datum_t mask, scmp_datum_t value) {
  const scmp_arg_cmp where{argument, SCMP_CMP_MASKED_EQ, mask, value};
  return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, where) == 0;
}

// What glibc looks up in files the first time it needs it is looked up now:
// once locked, opening them would end the process. How many memory arenas
// its threads may have (from the cores online, counted when a thread first
// allocates and there are several already): set outright. Whether it may
// hand back a thread's unused memory: a thread of its own does that once.
void settleTheCLibrary() {
  ::mallopt(M_ARENA_MAX, 8 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  std::thread([] {
    std::vector<void*> blocks(64);
    for (void*& block : blocks) block = std::malloc(64 * 1024);
    for (void* block : blocks) std::free(block);
  }).join();
}

}  // namespace

bool lockDown() {
  settleTheCLibrary();
  if (::clearenv() != 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  // The times libraries work out (LibRaw reads a photo's date) are in UTC,
  // whose rules glibc takes in now: once locked, it could not look at
  // /etc/localtime, as it would for each time without TZ set.
  if (::setenv("TZ", "UTC0", 1) != 0) return false;
  ::tzset();
  // Anything not allowed below ends the process at once (SIGSYS): in
  // particular open and openat, socket and connect, execve, ptrace, kill.
  const std::unique_ptr<void, FilterDeleter> owned(seccomp_init(SCMP_ACT_KILL_PROCESS));
  scmp_filter_ctx filter = owned.get();
  if (!filter) return false;
  const int allowed[] = {
      // Reading the pictures handed over, and the requests; writing the
      // replies and the pixels into memory files.
      SCMP_SYS(read),
      SCMP_SYS(pread64),
      SCMP_SYS(readv),
      SCMP_SYS(lseek),
      SCMP_SYS(write),
      SCMP_SYS(writev),
      SCMP_SYS(recvmsg),
      SCMP_SYS(sendmsg),
      SCMP_SYS(close),
      // The pixels of each result go in a memory file of their own, sealed
      // before they are handed back (memfd_create, ftruncate, fcntl's
      // seals); madvise makes a file's pages ahead of the decoder.
      SCMP_SYS(memfd_create),
      SCMP_SYS(ftruncate),
      SCMP_SYS(fcntl),
      // Memory: the decoders' allocations, and the memory files mapped.
      SCMP_SYS(mmap),
      SCMP_SYS(munmap),
      SCMP_SYS(mremap),
      SCMP_SYS(mprotect),
      SCMP_SYS(brk),
      SCMP_SYS(madvise),
      // Threads: the colour conversion and Qt's scaling run rows on both
      // cores; they wait on futexes, and glibc registers each new thread.
      SCMP_SYS(futex),
      SCMP_SYS(set_robust_list),
      SCMP_SYS(rseq),
      SCMP_SYS(sched_yield),
      SCMP_SYS(sched_getaffinity),
      SCMP_SYS(rt_sigprocmask),
      SCMP_SYS(gettid),
      SCMP_SYS(getpid),
      // Each thread of Qt's pool makes itself a wake-up counter, as every
      // Qt thread does: a descriptor of this process's own, naming nothing.
      SCMP_SYS(eventfd2),
      // glibc installs its threads' own signal handlers when the first
      // thread starts; handlers act on this process alone.
      SCMP_SYS(rt_sigaction),
      // Clocks, for the decoders' and the threads' timed waits.
      SCMP_SYS(clock_gettime),
      SCMP_SYS(clock_getres),
      SCMP_SYS(gettimeofday),
      SCMP_SYS(clock_nanosleep),
      SCMP_SYS(nanosleep),
      // libtiff sizes its buffers by the machine's memory: sysinfo tells
      // only the machine's totals (memory, load, uptime).
      SCMP_SYS(sysinfo),
      // Leaving: a thread ends, the process ends, a signal handler returns.
      SCMP_SYS(exit),
      SCMP_SYS(exit_group),
      SCMP_SYS(rt_sigreturn),
  };
  for (const int call : allowed)
    if (!allow(filter, call)) return false;
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  // Built with the sanitizers (for the tests), whose run time checks that
  // memory can be read by writing it into a pipe of its own, and gives each
  // thread a stack of its own for signals.
  for (const int call : {SCMP_SYS(pipe2), SCMP_SYS(pipe), SCMP_SYS(sigaltstack)})
    if (!allow(filter, call)) return false;
#endif
#endif
  // fstat of a descriptor it holds (glibc asks it as newfstatat of an empty
  // path); never the state of a file by its name.
  if (!allowWhere(filter, SCMP_SYS(newfstatat), 3, AT_EMPTY_PATH, AT_EMPTY_PATH) || !allow(filter, SCMP_SYS(fstat)))
    return false;
  // New threads, never new processes: clone only with CLONE_THREAD. clone3
  // keeps its flags where the filter cannot see them: it is refused as
  // unknown, and glibc falls back to clone.
  if (!allowWhere(filter, SCMP_SYS(clone), 0, CLONE_THREAD, CLONE_THREAD) ||
      seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) != 0)
    return false;
  // Qt names the threads of its pool; nothing else of prctl.
  if (!allowWhere(filter, SCMP_SYS(prctl), 0, ~scmp_datum_t{0}, PR_SET_NAME)) return false;
  return seccomp_load(filter) == 0;
}

}  // namespace platform
