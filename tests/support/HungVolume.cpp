// A few threads of the volume's own read the FUSE device. A held call is not
// answered: its request waits, with what answers it, until released, so any
// number of calls can wait without taking a thread. Going away answers the
// held ones with EIO, stops the threads, then closes the device, which fails
// whatever the kernel still has queued (also for files left open), and
// unmounts lazily.
#define FUSE_USE_VERSION 314
#include "support/HungVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fuse_lowlevel.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Call = HungVolume::Call;
std::optional<std::string> noMountsOfItsOwn;  // why not, once asked for; empty when it has them

std::string relative(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  return clean == "." ? std::string() : QFile::encodeName(clean).toStdString();
}

void reply(fuse_req_t request, std::string_view bytes, size_t size, off_t offset) {
  const size_t from = std::min(static_cast<size_t>(offset), bytes.size());
  fuse_reply_buf(request, bytes.data() + from, std::min(size, bytes.size() - from));
}

}  // namespace

struct HungVolume::Served {
  struct Node { std::string path, name; fuse_ino_t parent; bool folder; QByteArray bytes; };
  struct Held { Call call; std::string path; fuse_req_t request; std::function<void()> answer; };

  std::mutex lock;  // for all that follows, and every answer
  std::vector<Node> nodes{{"", "", FUSE_ROOT_ID, true, {}}};  // inode i + 1, for good
  std::vector<std::pair<Call, std::optional<std::string>>> holds;  // no path: every path
  std::vector<Held> held;
  bool going = false;
  const time_t made = std::time(nullptr);
  fuse_session* session = nullptr;
  const int stop = ::eventfd(0, EFD_CLOEXEC);
  std::vector<std::thread> threads;
  std::string whyNot;

  fuse_ino_t child(fuse_ino_t parent, std::string_view name) const {
    for (size_t i = 1; i < nodes.size(); ++i)
      if (nodes[i].parent == parent && nodes[i].name == name) return i + 1;
    return 0;
  }

  void add(const std::string& path, bool folder, const QByteArray& bytes) {
    const std::lock_guard guard(lock);
    fuse_ino_t at = FUSE_ROOT_ID;
    for (size_t start = 0, end = 0; start < path.size(); start = end + 1) {
      end = std::min(path.find('/', start), path.size());
      const fuse_ino_t found = child(at, std::string_view(path).substr(start, end - start));
      if (!found) nodes.push_back({path.substr(0, end), path.substr(start, end - start), at, end < path.size() || folder, {}});
      at = found ? found : nodes.size();
    }
    nodes[at - 1].bytes = bytes;
  }

  struct stat attributes(fuse_ino_t ino) const {
    struct stat a {};
    a.st_ino = ino;
    a.st_mode = nodes[ino - 1].folder ? S_IFDIR | 0755 : S_IFREG | 0644;
    a.st_nlink = 1;
    a.st_uid = ::getuid();
    a.st_gid = ::getgid();
    a.st_size = nodes[ino - 1].bytes.size();
    a.st_atime = a.st_mtime = a.st_ctime = made;
    return a;
  }

  bool isHeld(Call call, const std::string& path) const {
    return std::any_of(holds.begin(), holds.end(), [&](const auto& h) { return h.first == call && (!h.second || *h.second == path); });
  }

  // Answers a call on the inode, or on the name in that folder, unless held.
  static void serve(fuse_req_t request, Call call, fuse_ino_t ino, const std::function<void(Served&)>& answer,
                    const char* name = nullptr) {
    Served& s = *static_cast<Served*>(fuse_req_userdata(request));
    const std::lock_guard guard(s.lock);
    const std::string& at = s.nodes[ino - 1].path;
    const std::string path = !name ? at : at.empty() ? name : at + "/" + name;
    if (s.going)
      fuse_reply_err(request, EIO);
    else if (s.isHeld(call, path))
      s.held.push_back({call, path, request, [&s, answer] { answer(s); }});
    else
      answer(s);
  }

  // Answers, in the order they came, the calls no hold keeps any more.
  void answerFreed() {
    const auto freed = std::stable_partition(held.begin(), held.end(), [&](const Held& h) { return isHeld(h.call, h.path); });
    for (auto h = freed; h != held.end(); ++h) h->answer();
    held.erase(freed, held.end());
  }

  // The kernel keeps nothing: entries and attributes for no time, no pages
  // (direct I/O), no listings.
  static fuse_lowlevel_ops operations() {
    fuse_lowlevel_ops ops{};
    ops.lookup = [](fuse_req_t r, fuse_ino_t parent, const char* name) {
      serve(r, Call::Stat, parent, [r, parent, name = std::string(name)](Served& s) {
        fuse_entry_param entry{};
        entry.ino = s.child(parent, name);
        entry.attr = s.attributes(entry.ino ? entry.ino : FUSE_ROOT_ID);
        entry.ino ? fuse_reply_entry(r, &entry) : fuse_reply_err(r, ENOENT);
      }, name);
    };
    ops.getattr = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info*) {
      serve(r, Call::Stat, ino, [r, ino](Served& s) {
        const struct stat a = s.attributes(ino);
        fuse_reply_attr(r, &a, 0);
      });
    };
    ops.open = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info* file) {
      serve(r, Call::Open, ino, [r, info = *file](Served&) mutable {
        info.direct_io = 1;
        fuse_reply_open(r, &info);
      });
    };
    ops.read = [](fuse_req_t r, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
      serve(r, Call::Read, ino, [r, ino, size, offset](Served& s) {
        const QByteArray& bytes = s.nodes[ino - 1].bytes;
        reply(r, {bytes.constData(), static_cast<size_t>(bytes.size())}, size, offset);
      });
    };
    ops.opendir = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info* folder) {
      serve(r, Call::List, ino, [r, info = *folder](Served&) { fuse_reply_open(r, &info); });
    };
    ops.readdir = [](fuse_req_t r, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
      serve(r, Call::List, ino, [r, ino, size, offset](Served& s) {
        std::string listing;  // made whole each time; an entry's offset is where the next begins
        const auto list = [&](const char* name, fuse_ino_t entry) {
          const struct stat a = s.attributes(entry);
          const size_t at = listing.size(), length = fuse_add_direntry(r, nullptr, 0, name, nullptr, 0);
          listing.resize(at + length);
          fuse_add_direntry(r, listing.data() + at, length, name, &a, static_cast<off_t>(at + length));
        };
        list(".", ino);
        list("..", s.nodes[ino - 1].parent);
        for (size_t i = 1; i < s.nodes.size(); ++i)
          if (s.nodes[i].parent == ino) list(s.nodes[i].name.c_str(), i + 1);
        reply(r, listing, size, offset);
      });
    };
    ops.statfs = [](fuse_req_t r, fuse_ino_t ino) {
      serve(r, Call::StatFs, ino, [r](Served&) {
        struct statvfs sizes {};
        sizes.f_bsize = 4096;
        fuse_reply_statfs(r, &sizes);
      });
    };
    return ops;
  }

  void answerRequests() {
    fuse_buf buffer{};
    pollfd waits[2] = {{stop, POLLIN, 0}, {fuse_session_fd(session), POLLIN, 0}};
    while (::poll(waits, 2, -1) >= 0 || errno == EINTR) {
      if (waits[0].revents || (waits[1].revents & (POLLERR | POLLHUP))) break;  // told to stop, or unmounted
      const int got = fuse_session_receive_buf(session, &buffer);
      if (got == -EAGAIN || got == -EINTR) continue;  // another thread took it
      if (got <= 0) break;
      fuse_session_process_buf(session, &buffer);
    }
    std::free(buffer.mem);
  }
};

HungVolume::HungVolume() : served_(std::make_unique<Served>()) {}

HungVolume::~HungVolume() {
  Served& s = *served_;
  {
    const std::lock_guard guard(s.lock);
    s.going = true;
    for (const Served::Held& h : s.held) fuse_reply_err(h.request, EIO);
    s.held.clear();
  }
  ::eventfd_write(s.stop, 1);
  for (std::thread& thread : s.threads) thread.join();
  if (s.session) {
    fuse_session_unmount(s.session);  // closes the device, then unmounts lazily
    fuse_session_destroy(s.session);
  }
  ::close(s.stop);
}

void HungVolume::keepMountsInThisProcess() {
  const auto failed = [](const char* what) { noMountsOfItsOwn = std::string(what) + ": " + std::strerror(errno); };
  noMountsOfItsOwn = "";
  if (::geteuid() != 0)
    noMountsOfItsOwn = "it needs root";
  else if (::unshare(CLONE_NEWNS) != 0)
    failed("unshare");
  else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    failed("making them private");
}

void HungVolume::addFolder(const QString& path) { served_->add(relative(path), true, {}); }

void HungVolume::addFile(const QString& path, const QByteArray& bytes) { served_->add(relative(path), false, bytes); }

bool HungVolume::mount(const QString& mountPoint) {
  Served& s = *served_;
  const QByteArray at = QFile::encodeName(QFileInfo(mountPoint).absoluteFilePath());
  if (s.session)
    s.whyNot = "it is mounted already";
  else if (noMountsOfItsOwn && !noMountsOfItsOwn->empty())
    s.whyNot = "this process has no mounts of its own: " + *noMountsOfItsOwn;
  else if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
    s.whyNot = "mounting needs root and /dev/fuse";
  else if (!QFileInfo(mountPoint).isDir())
    s.whyNot = at.toStdString() + " is no folder";
  else
    s.whyNot.clear();
  if (!s.whyNot.empty()) return false;
  const char* options[] = {"tavlo-hung-volume", "-o", "ro,allow_other,fsname=tavlo-hung-volume,subtype=tavlo-hung-volume"};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(options));
  const fuse_lowlevel_ops ops = Served::operations();
  s.session = fuse_session_new(&args, &ops, sizeof ops, &s);
  fuse_opt_free_args(&args);
  if (!s.session || fuse_session_mount(s.session, at.constData()) != 0) {
    if (s.session) fuse_session_destroy(s.session);
    s.session = nullptr;
    s.whyNot = "libfuse could not mount it on " + at.toStdString() + "; its reason is on the error output";
    return false;
  }
  const int device = fuse_session_fd(s.session);  // all the threads wait for it, so none may block on it
  ::fcntl(device, F_SETFL, ::fcntl(device, F_GETFL) | O_NONBLOCK);
  for (int i = 0; i < 4; ++i) s.threads.emplace_back([&s] { s.answerRequests(); });
  return true;
}

QString HungVolume::whyNot() const { return QString::fromStdString(served_->whyNot); }

void HungVolume::hold(Call call, const QString& path) {
  const std::lock_guard guard(served_->lock);
  served_->holds.emplace_back(call, path.isEmpty() ? std::nullopt : std::optional(relative(path)));
}

void HungVolume::release(Call call, const QString& path) {
  const std::lock_guard guard(served_->lock);
  std::erase_if(served_->holds, [&](const auto& h) { return h.first == call && (path.isEmpty() || h.second == relative(path)); });
  served_->answerFreed();
}

int HungVolume::waiting(Call call) const {
  const std::lock_guard guard(served_->lock);
  return static_cast<int>(std::count_if(served_->held.begin(), served_->held.end(), [&](const auto& h) { return h.call == call; }));
}
