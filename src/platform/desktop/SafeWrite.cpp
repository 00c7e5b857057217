#include "platform/desktop/SafeWrite.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/RuntimeError.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr int MostLinksFollowed = 40;  // as the kernel's path walk

[[noreturn]] void refuseNotAFile() {
  throw RuntimeError(errors::PathFileAccessError, errorDescription(errors::PathFileAccessError),
                     QStringLiteral("That name belongs to something that is not a file."));
}

int orRaise(int result) {
  if (result < 0) raiseFromErrno(errno);
  return result;
}

// A file descriptor, closed when it goes; close() is for a closing whose
// result counts.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// A path split at its last slash: the folder ("." for none) and the name.
std::pair<QByteArray, QByteArray> split(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return {QByteArray("."), path};
  return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

Descriptor openFolder(int at, const QByteArray& path) {
  return Descriptor(orRaise(::openat(at, path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)));
}

QByteArray linkText(int folder, const QByteArray& name) {
  QByteArray text(PATH_MAX, '\0');
  const ssize_t length = ::readlinkat(folder, name.constData(), text.data(), static_cast<size_t>(text.size()));
  if (length < 0) raiseFromErrno(errno);
  if (length >= text.size()) raiseFromErrno(ENAMETOOLONG);
  text.truncate(length);
  return text;
}

// In a sticky folder that anyone may write, as /tmp, what another user put
// there is trusted only where the folder's owner owns it: the kernel's rules
// for following a link there (fs.protected_symlinks) and for opening a file
// there that could have been made instead (fs.protected_regular), kept
// whatever the machine's settings.
bool trusted(int folder, uid_t owner) {
  struct stat info {};
  if (::fstat(folder, &info) != 0) return false;
  const bool shared = (info.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || owner == ::geteuid() || owner == info.st_uid;
}

// The name a write goes to, and the file there now.
struct Target {
  Descriptor folder;  // opened for its path only
  QByteArray name;
  Descriptor file;  // open for writing, and reading where allowed; none for a new file
  bool readable = false;
  struct stat was {};
};

// Links are followed one at a time, each from its own folder, as the kernel
// would follow them. The file is opened for writing without being changed,
// so that the kernel judges the right to write it.
Target targetOf(const QString& path) {
  const QByteArray native = nativeFileName(path);
  if (native.isEmpty() || native.contains('\0')) raise(errors::BadFileNameOrNumber);
  const auto [folder, name] = split(native);
  Target target;
  target.folder = openFolder(AT_FDCWD, folder);
  target.name = name;
  for (int links = 0;; ++links) {
    if (target.name.isEmpty() || target.name == "." || target.name == "..") raiseFromErrno(EISDIR);
    struct stat info {};
    if (::fstatat(target.folder.get(), target.name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) raiseFromErrno(errno);
      if (links > 0) refuseNotAFile();  // a link that leads nowhere is not written through
      return target;
    }
    if (S_ISDIR(info.st_mode)) raiseFromErrno(EISDIR);
    if (S_ISREG(info.st_mode)) break;
    if (!S_ISLNK(info.st_mode)) refuseNotAFile();
    if (links == MostLinksFollowed) raiseFromErrno(ELOOP);
    if (!trusted(target.folder.get(), info.st_uid)) raiseFromErrno(EACCES);  // a link planted there
    const auto [linkFolder, linkName] = split(linkText(target.folder.get(), target.name));
    Descriptor next = openFolder(target.folder.get(), linkFolder);
    target.folder = std::move(next);
    target.name = linkName;
  }
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(target.folder.get(), target.name.constData(), O_RDWR | flags);
  target.readable = fd >= 0;
  if (fd < 0 && errno == EACCES) fd = ::openat(target.folder.get(), target.name.constData(), O_WRONLY | flags);
  target.file = Descriptor(orRaise(fd));
  if (::fstat(target.file.get(), &target.was) != 0) raiseFromErrno(errno);
  if (!S_ISREG(target.was.st_mode)) refuseNotAFile();
  return target;
}

// Named temporaries, which a save killed midway may leave, are called
// ".tavlo-save-<writer's process id>-<boot>-<random>"; the boot, the first 8
// digits of the kernel's boot id, says where the process id means something.
const QByteArray& thisBoot() {
  static const QByteArray boot = [] {
    QFile id(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    const QByteArray digits = id.open(QIODevice::ReadOnly) ? id.read(8) : QByteArray();
    return QRegularExpression(QStringLiteral("^[0-9a-f]{8}$")).match(QString::fromLatin1(digits)).hasMatch()
               ? digits
               : QByteArray();
  }();
  return boot;
}

QByteArray temporaryName() {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QByteArray name = ".tavlo-save-" + QByteArray::number(::getpid()) + '-' +
                    (thisBoot().isEmpty() ? QByteArray("00000000") : thisBoot()) + '-';
  for (int i = 0; i < 6; ++i) name += letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof letters - 1))];
  return name;
}

// Removes what saves killed midway left in the folder, and nothing else: a
// regular file of this user's with one link and a temporary's name, whose
// writer has gone (a process of this boot that no longer runs), or that
// nothing has written to for a day.
void sweepLeftovers(int folder) {
  static const QRegularExpression temporary(QStringLiteral("^\\.tavlo-save-([1-9][0-9]{0,6})-([0-9a-f]{8})-[A-Za-z0-9]{6}$"));
  const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listed < 0 ? nullptr : ::fdopendir(listed);
  if (!entries) {
    if (listed >= 0) ::close(listed);
    return;
  }
  while (const dirent* entry = ::readdir(entries)) {
    const QRegularExpressionMatch name = temporary.match(QString::fromLatin1(entry->d_name));
    struct stat info {};
    if (!name.hasMatch() || ::fstatat(listed, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1) continue;
    const bool gone = !thisBoot().isEmpty() && name.captured(2).toLatin1() == thisBoot() &&
                      ::kill(name.captured(1).toInt(), 0) != 0 && errno == ESRCH;
    if (gone || ::time(nullptr) - info.st_mtime > 24 * 60 * 60) ::unlinkat(listed, entry->d_name, 0);
  }
  ::closedir(entries);
}

// The names of a file's extended attributes; none where it can have none.
std::optional<QByteArrayList> attributeNames(int fd) {
  for (int tries = 0; tries < 5; ++tries) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? std::optional(QByteArrayList()) : std::nullopt;
    QByteArray names(size, '\0');
    const ssize_t got = ::flistxattr(fd, names.data(), static_cast<size_t>(names.size()));
    if (got >= 0) return names.left(got).split('\0').mid(0, names.left(got).count('\0'));
    if (errno != ERANGE) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<QByteArray> attribute(int fd, const QByteArray& name) {
  for (int tries = 0; tries < 5; ++tries) {
    const ssize_t size = ::fgetxattr(fd, name.constData(), nullptr, 0);
    if (size < 0) return std::nullopt;
    QByteArray value(size, '\0');
    const ssize_t got = ::fgetxattr(fd, name.constData(), value.data(), static_cast<size_t>(value.size()));
    if (got >= 0) return value.left(got);
    if (errno != ERANGE) return std::nullopt;
  }
  return std::nullopt;
}

// The old file's extended attributes, its ACL (system.posix_acl_access)
// among them, given to the new one, which keeps no others. Capabilities of
// the file are not passed on to new contents, as the kernel drops them on
// any write.
bool copyAttributes(int from, int to) {
  const auto names = attributeNames(from), present = attributeNames(to);
  if (!names || !present) return false;
  for (const QByteArray& name : *present)
    if (!names->contains(name) && ::fremovexattr(to, name.constData()) != 0) return false;
  for (const QByteArray& name : *names) {
    if (name == "security.capability") continue;
    const auto value = attribute(from, name);
    if (!value || ::fsetxattr(to, name.constData(), value->constData(), static_cast<size_t>(value->size()), 0) != 0)
      return false;
  }
  return true;
}

// Gives the new file what the old one was: owner and group, attributes and
// permissions, setuid and setgid left until the contents are in (writing
// drops them for all but root). False when some of it cannot be given.
bool takesOver(int fd, const Target& target) {
  const struct stat& was = target.was;
  struct stat now {};
  if (::fstat(fd, &now) != 0) return false;
  if ((now.st_uid != was.st_uid || now.st_gid != was.st_gid) && ::fchown(fd, was.st_uid, was.st_gid) != 0) return false;
  return copyAttributes(target.file.get(), fd) && ::fchmod(fd, was.st_mode & 01777) == 0;
}

// The file that takes the target's place. Unnamed until it is complete,
// where the file system allows (and /proc/self/fd gives it a name later).
struct NewFile {
  Descriptor fd;
  QByteArray name;  // empty while unnamed
  int folder = -1;
  NewFile() = default;
  NewFile(NewFile&&) = default;
  NewFile& operator=(NewFile&&) = default;
  ~NewFile() {
    if (!name.isEmpty()) ::unlinkat(folder, name.constData(), 0);
  }
};

// None where the target is written in place: it has other hard links, its
// folder may not be written, or what it was cannot all be given to a new
// file. A new file has the permissions that the umask and the folder's
// default ACL give it, as the kernel applies them when it is made.
std::optional<NewFile> newFileFor(const Target& target) {
  if (target.file && target.was.st_nlink > 1) return std::nullopt;
  NewFile made;
  made.folder = target.folder.get();
  const mode_t mode = target.file ? target.was.st_mode & 0777 : 0666;
  if (::access("/proc/self/fd", X_OK) == 0)
    made.fd = Descriptor(::openat(made.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  for (int tries = 0; !made.fd && tries < 100; ++tries) {
    const QByteArray name = temporaryName();
    made.fd = Descriptor(::openat(made.folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (made.fd) made.name = name;
    if (!made.fd && errno != EEXIST) break;
  }
  if (!made.fd && target.file && (errno == EACCES || errno == EPERM)) return std::nullopt;
  if (!made.fd) raiseFromErrno(errno);
  if (target.file && !takesOver(made.fd.get(), target)) return std::nullopt;
  return made;
}

// Output to a file descriptor: every write checked to its last byte; the
// first failure is kept, and no later write is tried.
class Output final : public QIODevice {
 public:
  explicit Output(int fd) : fd_(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
  int failure() const { return failure_; }
  void fail(int error) {
    if (failure_ == 0) failure_ = error;
  }
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 length) override {
    qint64 written = 0;
    while (failure_ == 0 && written < length) {
      const ssize_t done = ::write(fd_, data + written, static_cast<size_t>(length - written));
      if (done < 0 && errno == EINTR) continue;
      if (done < 0) failure_ = errno;
      if (done == 0) failure_ = ENOSPC;
      if (done > 0) written += done;
    }
    return failure_ == 0 ? written : -1;
  }

 private:
  int fd_;
  int failure_ = 0;
};

// Runs the writer; a failed write is told by its own errno, whatever the
// writer made of it.
void runWriter(const std::function<void(QIODevice&)>& write, QIODevice& out, const Output* checked) {
  if (auto error = runCatchingErrors([&] { write(out); })) {
    if (checked && checked->failure() != 0) raiseFromErrno(checked->failure());
    throw *error;
  }
}

int writeAt(int fd, const QByteArray& bytes) {
  for (qsizetype written = 0; written < bytes.size();) {
    const ssize_t done = ::pwrite(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written), written);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return done == 0 ? ENOSPC : errno;
    written += done;
  }
  return 0;
}

std::optional<QByteArray> readWhole(int fd, off_t size) {
  QByteArray bytes(size, '\0');
  for (qsizetype read = 0; read < bytes.size();) {
    const ssize_t done = ::pread(fd, bytes.data() + read, static_cast<size_t>(bytes.size() - read), read);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return std::nullopt;
    read += done;
  }
  return bytes;
}

// The new contents over the old, in the file itself, which keeps its links,
// owner, group, ACL and attributes (the kernel drops setuid and setgid for a
// writer other than root). They are made whole in memory first, and room for
// them taken on the disk, before the first byte changes; then written from
// the start, the rest cut off, and synced. Should a write fail midway, the
// file holds the new bytes up to the failure and the old ones after it, and
// the old contents, read before, are put back where the disk allows.
void writeInPlace(Target& target, const std::function<void(QIODevice&)>& write) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  runWriter(write, buffer, nullptr);
  const int fd = target.file.get();
  const std::optional<QByteArray> old = target.readable ? readWhole(fd, target.was.st_size) : std::nullopt;
  if (!bytes.isEmpty() && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, bytes.size()) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS)
    raiseFromErrno(errno);
  int failure = writeAt(fd, bytes);
  if (failure == 0 && ::ftruncate(fd, bytes.size()) != 0) failure = errno;
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (failure != 0 && old && writeAt(fd, *old) == 0 && ::ftruncate(fd, old->size()) == 0) ::fsync(fd);
  if (failure == 0 && target.file.close() != 0) failure = errno;
  if (failure != 0) raiseFromErrno(failure);
}

}  // namespace

void writeFileWhole(const QString& path, const std::function<void(QIODevice& out)>& write) {
  Target target = targetOf(path);
  sweepLeftovers(target.folder.get());
  std::optional<NewFile> made = newFileFor(target);
  if (!made && !trusted(target.folder.get(), target.was.st_uid)) raiseFromErrno(EACCES);  // a file planted there
  if (!made) return writeInPlace(target, write);
  const int fd = made->fd.get();
  Output out(fd);
  runWriter(write, out, &out);
  // Setuid and setgid back, now that the owner and group are the old ones.
  if (target.file && ::fchmod(fd, target.was.st_mode & 07777) != 0) out.fail(errno);
  // Data on the disk first; then a name for an unnamed file, and that name
  // over the target's; the folder's entry is synced last, and a failure there
  // no longer undoes the write.
  if (::fsync(fd) != 0) out.fail(errno);
  const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
  for (int tries = 0; out.failure() == 0 && made->name.isEmpty() && tries < 100; ++tries) {
    const QByteArray name = temporaryName();
    if (::linkat(AT_FDCWD, self.constData(), made->folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
      made->name = name;
    else if (errno != EEXIST)
      out.fail(errno);
  }
  if (made->fd.close() != 0) out.fail(errno);
  if (out.failure() == 0 && made->name.isEmpty()) out.fail(EEXIST);
  if (out.failure() == 0 &&
      ::renameat(made->folder, made->name.constData(), made->folder, target.name.constData()) != 0)
    out.fail(errno);
  if (out.failure() != 0) raiseFromErrno(out.failure());
  made->name.clear();
  const int folder = ::openat(made->folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace platform
