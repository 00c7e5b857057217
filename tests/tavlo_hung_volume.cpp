// Serves a hung volume: a FUSE volume, read-only, its files and folders kept
// in memory, whose kinds of call can be held. The kernel keeps nothing of it,
// so every look-up, stat, open, read, listing and statfs reaches it, also for
// a file read before. By hand, to run the program against it:
//   tavlo_hung_volume MOUNTPOINT [--hold stat,open,read,list,statfs]
//                     [--file NAME=SOURCEFILE]... [--folder NAME]...
// holds the named kinds of call for every path, prints "mounted" once it
// serves, and serves until SIGINT or SIGTERM; then held calls fail, and it
// unmounts. For a test (support/HungVolume.h), with --asked-on-stdin, it is
// killed when the thread that started it ends, and takes requests on its
// standard input, a line each, "hold|release|waiting KIND [PATH]" (KIND a
// number, in the order of HungVolume::Call; no path: every path), answering
// each on its standard output with the number of calls of that kind held
// then. It serves until that input ends too, or until the test process is
// being killed, and fails a call held for 30 seconds, so that a test whose
// own thread waits in one goes on to fail.
//
// One thread serves it all. A held call is not answered: its request waits,
// with what answers it, until released, so any number of calls can wait.
// Ending fails the held ones with EIO, then closes the device, which fails
// whatever the kernel still has queued (also for files left open), and
// unmounts lazily.
#define FUSE_USE_VERSION 314
#include "support/HungVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fuse_lowlevel.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

using Call = HungVolume::Call;
using Clock = std::chrono::steady_clock;

struct Node { std::string path; bool folder; std::string bytes; };
struct Held { Call call; std::string path; fuse_req_t request; std::function<void()> answer; Clock::time_point since; };

std::vector<Node> nodes{{"", true, {}}};  // inode i + 1, for good
std::vector<std::pair<Call, std::optional<std::string>>> holds;  // no path: every path
std::vector<Held> held;
std::optional<Clock::duration> heldAtMost;  // none: for good
const time_t made = std::time(nullptr);
fuse_session* session = nullptr;
volatile std::sig_atomic_t stopped = 0;  // by SIGINT or SIGTERM

std::string relative(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  return clean == "." ? std::string() : QFile::encodeName(clean).toStdString();
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

fuse_ino_t inode(const std::string& path) {  // 0: none
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].path == path) return i + 1;
  return 0;
}

// The folders above are made too.
void add(const std::string& path, bool folder, const std::string& bytes) {
  if (!path.empty()) add(parentOf(path), true, {});
  if (!inode(path)) nodes.push_back({path, folder, bytes});
}

// Owned by root, who alone mounts it.
struct stat attributes(fuse_ino_t ino) {
  struct stat a {};
  a.st_ino = ino;
  a.st_mode = nodes[ino - 1].folder ? S_IFDIR | 0755 : S_IFREG | 0644;
  a.st_nlink = 1;
  a.st_size = nodes[ino - 1].bytes.size();
  a.st_atime = a.st_mtime = a.st_ctime = made;
  return a;
}

void reply(fuse_req_t request, std::string_view bytes, size_t size, off_t offset) {
  const size_t from = std::min(static_cast<size_t>(offset), bytes.size());
  fuse_reply_buf(request, bytes.data() + from, std::min(size, bytes.size() - from));
}

bool isHeld(Call call, const std::string& path) {
  return std::any_of(holds.begin(), holds.end(), [&](const auto& h) { return h.first == call && (!h.second || *h.second == path); });
}

// Answers a call on the path, unless held.
void serve(fuse_req_t request, Call call, const std::string& path, const std::function<void()>& answer) {
  if (isHeld(call, path))
    held.push_back({call, path, request, answer, Clock::now()});
  else
    answer();
}

// Answers, in the order they came, the calls no hold keeps any more; fails
// those held too long.
void answerFreed() {
  const auto kept = [&](const Held& h) { return !heldAtMost || Clock::now() - h.since < *heldAtMost; };
  const auto freed = std::stable_partition(held.begin(), held.end(), [&](const Held& h) { return isHeld(h.call, h.path) && kept(h); });
  for (auto h = freed; h != held.end(); ++h) kept(*h) ? h->answer() : void(fuse_reply_err(h->request, EIO));
  held.erase(freed, held.end());
}

// Holds, releases (without a path, every hold of the kind) or neither;
// answers the calls that frees, and says how many of the kind wait then.
int ask(const QString& what, Call call, const QString& path) {
  const auto at = path.isEmpty() ? std::nullopt : std::optional(relative(path));
  if (what == "hold") holds.emplace_back(call, at);
  if (what == "release") std::erase_if(holds, [&](const auto& h) { return h.first == call && (!at || h.second == at); });
  answerFreed();
  return static_cast<int>(std::count_if(held.begin(), held.end(), [&](const Held& h) { return h.call == call; }));
}

// The kernel keeps nothing: entries and attributes for no time, no pages
// (direct I/O), no listings.
fuse_lowlevel_ops operations() {
  fuse_lowlevel_ops ops{};
  ops.lookup = [](fuse_req_t r, fuse_ino_t parent, const char* name) {
    const std::string& folder = nodes[parent - 1].path;
    const std::string path = folder.empty() ? name : folder + "/" + name;
    serve(r, Call::Stat, path, [r, path] {
      fuse_entry_param entry{};
      entry.ino = inode(path);
      entry.attr = attributes(entry.ino ? entry.ino : FUSE_ROOT_ID);
      entry.ino ? fuse_reply_entry(r, &entry) : fuse_reply_err(r, ENOENT);
    });
  };
  ops.getattr = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info*) {
    serve(r, Call::Stat, nodes[ino - 1].path, [r, a = attributes(ino)] { fuse_reply_attr(r, &a, 0); });
  };
  ops.open = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info* file) {
    file->direct_io = 1;
    serve(r, Call::Open, nodes[ino - 1].path, [r, info = *file] { fuse_reply_open(r, &info); });
  };
  ops.read = [](fuse_req_t r, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    serve(r, Call::Read, nodes[ino - 1].path, [r, ino, size, offset] { reply(r, nodes[ino - 1].bytes, size, offset); });
  };
  ops.opendir = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info* folder) {
    serve(r, Call::List, nodes[ino - 1].path, [r, info = *folder] { fuse_reply_open(r, &info); });
  };
  ops.readdir = [](fuse_req_t r, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    serve(r, Call::List, nodes[ino - 1].path, [r, ino, size, offset] {
      std::string listing;  // made whole each time; an entry's offset is where the next begins
      const auto list = [&](const std::string& name, fuse_ino_t entry) {
        const struct stat a = attributes(entry);
        const size_t at = listing.size(), length = fuse_add_direntry(r, nullptr, 0, name.c_str(), nullptr, 0);
        listing.resize(at + length);
        fuse_add_direntry(r, listing.data() + at, length, name.c_str(), &a, static_cast<off_t>(at + length));
      };
      list(".", ino);
      list("..", inode(parentOf(nodes[ino - 1].path)));
      for (size_t i = 1; i < nodes.size(); ++i)
        if (parentOf(nodes[i].path) == nodes[ino - 1].path) list(nodes[i].path.substr(nodes[i].path.rfind('/') + 1), i + 1);
      reply(r, listing, size, offset);
    });
  };
  ops.statfs = [](fuse_req_t r, fuse_ino_t ino) {
    serve(r, Call::StatFs, nodes[ino - 1].path, [r] {
      struct statvfs sizes {};
      sizes.f_bsize = 4096;
      fuse_reply_statfs(r, &sizes);
    });
  };
  return ops;
}

// Empty once mounted; else why not.
std::string mount(const QString& mountPoint) {
  const QByteArray at = QFile::encodeName(QFileInfo(mountPoint).absoluteFilePath());
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) return "mounting needs root and /dev/fuse";
  const char* options[] = {"tavlo-hung-volume", "-o", "ro,allow_other,fsname=tavlo-hung-volume,subtype=tavlo-hung-volume"};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(options));
  const fuse_lowlevel_ops ops = operations();
  session = fuse_session_new(&args, &ops, sizeof ops, nullptr);
  fuse_opt_free_args(&args);
  if (session && fuse_session_mount(session, at.constData()) == 0) return {};
  if (session) fuse_session_destroy(session);
  return "libfuse could not mount it on " + at.toStdString() + "; its reason is on the error output";
}

// Answers a test's request from standard input; false once the test has gone.
bool answer() {
  std::string line;
  char c = 0;
  while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n') line += c;
  const QString request = QString::fromLocal8Bit(line);
  std::printf("%d\n", ask(request.section(' ', 0, 0), static_cast<Call>(request.section(' ', 1, 1).toInt()), request.section(' ', 2)));
  std::fflush(stdout);
  return c == '\n';
}

// Whether the test process is being killed, which shows as SIGKILL pending in
// its first thread, the one that started this (any fatal signal turns into
// SIGKILL for every thread). Waiting in a held call, that thread keeps the
// process from going, and this from being killed with it; the kernel asks to
// interrupt the call, which wakes the loop below.
bool testKilled() {
  QFile status(QString("/proc/%1/status").arg(::getppid()));
  const QByteArray all = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
  return all.mid(all.indexOf("\nSigPnd:") + 8, 17).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGKILL - 1));
}

// Serves until stopped or unmounted, or, asked by a test, until it goes; then
// ends the held calls and what the kernel has queued, and unmounts.
void serve(bool asked) {
  const int device = fuse_session_fd(session);
  ::fcntl(device, F_SETFL, ::fcntl(device, F_GETFL) | O_NONBLOCK);  // a request may be gone before it is read
  pollfd waits[2] = {{device, POLLIN, 0}, {asked ? STDIN_FILENO : -1, POLLIN, 0}};
  fuse_buf buffer{};
  while (!stopped && !fuse_session_exited(session) && !(asked && testKilled())) {
    if (::poll(waits, 2, 1000) > 0) {  // at least once a second, for the calls held too long
      if (waits[0].revents && fuse_session_receive_buf(session, &buffer) > 0) fuse_session_process_buf(session, &buffer);
      if (waits[1].revents && !answer()) break;
    }
    answerFreed();
  }
  heldAtMost = Clock::duration::zero();
  answerFreed();
  fuse_session_unmount(session);  // closes the device, then unmounts lazily
  fuse_session_destroy(session);
  std::free(buffer.mem);
}

}  // namespace

int main(int argc, char** argv) {
  const QStringList kinds = {"stat", "open", "read", "list", "statfs"};  // in the order of HungVolume::Call
  QString mountPoint, wrong;
  bool asked = false;
  for (int i = 1; i < argc && wrong.isEmpty(); ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    const bool valued = QStringList({"--hold", "--file", "--folder"}).contains(argument) && i + 1 < argc;
    const QString value = valued ? QString::fromLocal8Bit(argv[++i]) : QString();
    QFile source(value.section('=', 1));
    if (argument == "--asked-on-stdin") {
      asked = true;
    } else if (mountPoint.isEmpty() && !argument.startsWith('-')) {
      mountPoint = argument;
    } else if (argument == "--folder" && valued) {
      add(relative(value), true, {});
    } else if (argument == "--file" && value.contains('=') && source.open(QIODevice::ReadOnly)) {
      add(relative(value.section('=', 0, 0)), false, source.readAll().toStdString());
    } else if (argument == "--hold" && valued) {
      for (const QString& kind : value.split(',')) {
        if (kinds.contains(kind))
          ask("hold", static_cast<Call>(kinds.indexOf(kind)), {});
        else
          wrong = "no such call: " + kind;
      }
    } else {
      wrong = "cannot use " + (argument + " " + value).trimmed() + (source.fileName().isEmpty() ? "" : ": " + source.errorString());
    }
  }
  if (mountPoint.isEmpty() || !wrong.isEmpty()) {
    std::fprintf(stderr,
                 "%s\nusage: tavlo_hung_volume MOUNTPOINT [--hold stat,open,read,list,statfs] "
                 "[--file NAME=SOURCEFILE]... [--folder NAME]...\n",
                 qPrintable(wrong.isEmpty() ? "no mount point" : wrong));
    return 2;
  }
  for (const int signal : {SIGINT, SIGTERM}) std::signal(signal, [](int) { stopped = 1; });
  if (asked) ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // when the thread that started it ends
  if (const std::string why = mount(mountPoint); !why.empty()) {
    std::fprintf(asked ? stdout : stderr, "tavlo_hung_volume: %s\n", why.c_str());  // a test reads it as its reason
    return 1;
  }
  std::puts("mounted");
  std::fflush(stdout);
  if (asked) heldAtMost = std::chrono::seconds(30);
  serve(asked);
  return 0;
}
