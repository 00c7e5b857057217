// Whole-file writes: one that fails changes nothing, a save keeps what the
// file was, links are followed only where the kernel would follow them, and
// a save killed midway leaves the old file and nothing else.
#include "platform/desktop/SafeWrite.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>
#include <QFileInfo>

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <vector>

using platform::Picture;
namespace errors = platform::errors;

namespace {

using SafeWrite = FreshProgram;

void save(const QString& path, const QByteArray& bytes) {
  platform::writeFileWhole(path, [&](QIODevice& out) { out.write(bytes); });
}

// Owner, group, permissions, links and extended attributes (the ACL among them).
std::string whatItIs(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat info {};
  ::lstat(native.constData(), &info);
  std::string text = std::to_string(info.st_uid) + ':' + std::to_string(info.st_gid) + " mode " +
                     std::to_string(info.st_mode) + " links " + std::to_string(info.st_nlink);
  char names[4096];
  const ssize_t length = ::llistxattr(native.constData(), names, sizeof names);
  for (const char* name = names; name < names + std::max<ssize_t>(length, 0); name += std::strlen(name) + 1) {
    char value[1024];
    const ssize_t size = ::lgetxattr(native.constData(), name, value, sizeof value);
    text += std::string(" ") + name + '=' + QByteArray(value, static_cast<int>(std::max<ssize_t>(size, 0))).toHex().data();
  }
  return text;
}

// An access ACL as the kernel keeps it: version 2, then (tag, permissions, id).
QByteArray accessList(std::initializer_list<std::array<unsigned, 3>> entries) {
  QByteArray bytes("\x02\0\0\0", 4);
  for (const auto& [tag, permissions, id] : entries)
    for (const auto& [value, size] : {std::pair{tag, 2}, {permissions, 2}, {id, 4}})
      for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// A disk that fills up is a file size limit of 1 KB here, for any user.
TEST_F(SafeWrite, AFailedWriteChangesNothingOnDisk) {
  const QByteArray bytes(100000, 's');
  const Picture picture = Picture::fromImage(QImage(200, 200, QImage::Format_RGB32));  // about 160 KB as a bitmap
  writeFile("old.bmp", "the old contents");
  writeFile("linked.bmp", "written in place, and put back");
  ASSERT_TRUE(QFile::link("nowhere.bmp", pathOf("dangling.bmp")));
  ASSERT_EQ(::link(QFile::encodeName(pathOf("linked.bmp")), QFile::encodeName(pathOf("twin.bmp"))), 0);
  makeFolder("folder");
  using Write = std::function<void(const QString&)>;
  const Write copy = [&](const QString& target) { save(target, bytes); };
  const Write bitmap = [&](const QString& target) { picture.saveAsBitmap(target); };
  const struct {
    const char* label;
    Write write;
    const char* target;
    int error;
    bool diskFull = false;
  } cases[] = {
      {"copy onto a folder", copy, "folder", errors::PathFileAccessError},
      {"copy through a link that leads nowhere", copy, "dangling.bmp", errors::PathFileAccessError},
      {"save of the empty picture", [](const QString& t) { Picture().saveAsBitmap(t); }, "empty.bmp", errors::InvalidPicture},
      {"copy over a file, disk full", copy, "old.bmp", errors::DiskFull, true},
      {"copy to a new name, disk full", copy, "new.bmp", errors::DiskFull, true},
      {"copy over a file with another link, disk full", copy, "linked.bmp", errors::DiskFull, true},
      {"save over a file, disk full", bitmap, "old.bmp", errors::DiskFull, true},
      {"save to a new name, disk full", bitmap, "new.bmp", errors::DiskFull, true},
  };
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit normal{};
  ::getrlimit(RLIMIT_FSIZE, &normal);
  const auto before = snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    rlimit limit = normal;
    if (c.diskFull) limit.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int error = raisedError([&] { c.write(pathOf(c.target)); });
    ::setrlimit(RLIMIT_FSIZE, &normal);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(snapshot(), before);
  }
  ASSERT_TRUE(makeFifo(pathOf("fifo")));  // which a snapshot would wait on
  EXPECT_EQ(raisedError([&] { copy(pathOf("fifo")); }), errors::PathFileAccessError);
  EXPECT_FALSE(QFileInfo(pathOf("fifo")).isFile());
}

// The saved file has the old one's owner, group, permissions, ACL, extended
// attributes and links; what a new file could not be given is kept by
// writing in place, as it is where the folder may not be written.
TEST_F(SafeWrite, ASaveKeepsWhatTheFileWas) {
  const auto setAttribute = [](const char* name, const QByteArray& value) {
    return [=](const QByteArray& path) { return ::setxattr(path, name, value.constData(), value.size(), 0) == 0; };
  };
  const auto owner = [](uid_t uid, gid_t gid, mode_t mode) {
    return [=](const QByteArray& path) { return ::chown(path, uid, gid) == 0 && ::chmod(path, mode) == 0; };
  };
  const struct {
    const char *label, *file;
    std::function<bool(const QByteArray&)> prepare;
    bool needsRoot = false;
  } cases[] = {
      {"permissions", "a.bmp", [](const QByteArray& path) { return ::chmod(path, 0604) == 0; }},
      // user::rw- user:4321:rw- group::r-- mask::rw- other::---, shown as 0660
      {"an ACL", "a.bmp",
       setAttribute("system.posix_acl_access", accessList({{1, 6, ~0u}, {2, 6, 4321}, {4, 4, ~0u}, {16, 6, ~0u}, {32, 0, ~0u}}))},
      {"extended attributes", "a.bmp", setAttribute("user.tavlo.note", "kept")},
      {"other hard links", "a.bmp", [this](const QByteArray& path) { return ::link(path, QFile::encodeName(pathOf("b.bmp"))) == 0; }},
      {"a folder that may not be written", "locked/a.bmp",
       [this](const QByteArray&) { return QFile::setPermissions(pathOf("locked"), QFile::ReadOwner | QFile::ExeOwner); }},
      {"another user and group", "a.bmp", owner(4321, 4321, 0664), true},
      {"another user's setuid and setgid", "a.bmp", owner(65534, 65534, 06755), true},
  };
  std::string needRoot;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.needsRoot && ::geteuid() != 0) {
      needRoot += std::string(" ") + c.label + ';';
      continue;
    }
    QDir(folder.path()).removeRecursively();
    makeFolder("locked");
    const QString path = writeFile(c.file, "old");
    ASSERT_TRUE(c.prepare(QFile::encodeName(path))) << std::strerror(errno);
    std::optional<PermissionBitsApply> ordinaryUser;  // for root, a folder it may not write is one without its override
    if (QString(c.file).startsWith("locked/") && !ordinaryUser.emplace().active())
      GTEST_SKIP() << "cannot give up root's override of permission bits";
    const std::string was = whatItIs(path);
    auto before = snapshot();
    save(path, "new");
    for (auto& [name, bytes] : before) bytes = bytes == "old" ? QByteArray("new") : bytes;
    EXPECT_EQ(snapshot(), before) << "every link has the new contents, and nothing else is new";
    EXPECT_EQ(whatItIs(path), was);
    ordinaryUser.reset();
    QFile::setPermissions(pathOf("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  if (!needRoot.empty()) GTEST_SKIP() << "rows that need root to give files to other users:" << needRoot;
}

// A link is followed as the kernel follows it (fs.protected_symlinks, for
// every setting): in a sticky folder anyone may write, only one of the
// folder owner's, or the follower's own, leads on. Root's rights change
// nothing.
TEST_F(SafeWrite, ALinkIsFollowedOnlyWhereTheKernelWouldFollowIt) {
  const uid_t me = ::geteuid(), other = 65534;
  const struct {
    const char* label;
    uid_t linkOwner, folderOwner;
    mode_t folderMode;
    const char* leadsTo;
    int error;
  } cases[] = {
      {"own link in a sticky folder", me, me, 01777, "../secret", 0},
      {"own link to a link", me, me, 01777, "../chain", 0},
      {"a link to itself", me, me, 01777, "link", errors::PathFileAccessError},
      {"another's link in my sticky folder", other, me, 01777, "../secret", errors::PermissionDenied},
      {"another's link in that user's sticky folder", other, other, 01777, "../secret", 0},
      {"another's link in a folder that is not sticky", other, me, 0777, "../secret", 0},
      {"another's link in a sticky folder only I may write", other, me, 01755, "../secret", 0},
  };
  std::string needRoot;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if ((c.linkOwner != me || c.folderOwner != me) && me != 0) {
      needRoot += std::string(" ") + c.label + ';';
      continue;
    }
    QDir(folder.path()).removeRecursively();
    const QByteArray shared = QFile::encodeName(makeFolder("shared")), link = shared + "/link";
    writeFile("secret", "old");
    ASSERT_TRUE(QFile::link("secret", pathOf("chain")));
    ASSERT_EQ(::symlink(c.leadsTo, link.constData()), 0);
    ASSERT_EQ(::lchown(link.constData(), c.linkOwner, gid_t(-1)) | ::chown(shared, c.folderOwner, gid_t(-1)) |
                  ::chmod(shared, c.folderMode),
              0);
    EXPECT_EQ(raisedError([&] { save(QFile::decodeName(link), "new"); }), c.error);
    EXPECT_EQ(contentsOf(pathOf("secret")), c.error ? "old" : "new");
    EXPECT_TRUE(QFileInfo(QFile::decodeName(link)).isSymLink());
  }
  if (!needRoot.empty()) GTEST_SKIP() << "rows that need root to plant another user's link:" << needRoot;
}

// A save in a child process that the kernel kills at the first of these
// calls, or the parent at a random moment while it saves again and again;
// where unnamed files are refused, as on file systems that have none. True
// when it was killed.
bool killedSave(const QString& path, const QByteArrayList& contents, std::vector<int> calls, bool unnamed) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_DUMPABLE, 0);  // no core file
    std::vector<sock_filter> filter{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const int call : calls) {
      filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1));
      filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    }
    if (!unnamed) {
      filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 3));
      filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
      filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1));
      filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      ::_exit(2);
    for (qsizetype i = 0; i == 0 || calls.empty(); ++i) raisedError([&] { save(path, contents[i % contents.size()]); });
    ::_exit(0);
  }
  if (calls.empty()) {
    ::usleep(QRandomGenerator::global()->bounded(20000u));
    ::kill(child, SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

// The old file whole, or the new one, and no temporary file left: unnamed
// ones go with the process; named ones, and an unnamed one killed after it
// was named, go at the next save in the folder, which leaves every file it
// did not make, also those that look like its own.
TEST_F(SafeWrite, ASaveKilledMidwayLeavesTheOldFileAndNothingElse) {
  const QByteArray old(5000, 'o'), fresh(300000, 'n'), other(200000, 'x');
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  QFile bootId("/proc/sys/kernel/random/boot_id");
  ASSERT_TRUE(bootId.open(QIODevice::ReadOnly));
  const QString boot = QString::fromLatin1(bootId.read(8));
  const auto named = [](pid_t writer, const QString& inBoot, const char* random) {
    return QString(".tavlo-save-%1-%2-%3").arg(writer).arg(inBoot, random);
  };
  const QString deadWriters = named(gone, boot, "abc123");
  for (const QString& kept : {named(::getpid(), boot, "abc123"), deadWriters + ".bmp", named(gone, "0123abcd", "abc123"),
                              deadWriters.chopped(1), QString(".tavlo-Xa3bC9"), deadWriters})
    writeFile(kept, "not the sweep's to remove");
  ASSERT_EQ(::link(QFile::encodeName(pathOf(deadWriters)), QFile::encodeName(pathOf("second link"))), 0);
  ASSERT_TRUE(QFile::link("nowhere", pathOf(named(gone + 1, boot, "abc123"))));
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(QFile::encodeName(writeFile(named(gone, boot, "ABC123"), "")), 65534, 65534), 0);
  }
  const QString target = writeFile("target.bmp", old);
  const auto withoutLeftovers = snapshot();
  writeFile(named(gone, boot, "xyz123"), "");
  const QString untouched = writeFile(named(gone, "0123abcd", "xyz123"), "");
  const timespec dayAndMinuteAgo[2] = {{::time(nullptr) - 24 * 3600 - 60, 0}, {::time(nullptr) - 24 * 3600 - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(untouched), dayAndMinuteAgo, 0), 0);

  const struct {
    const char* label;
    std::vector<int> calls;  // none: killed at a random moment
    bool unnamed;
  } cases[] = {
      {"at a write", {SYS_write}, true},
      {"at fsync", {SYS_fsync}, true},
      {"at naming", {SYS_linkat}, true},
      {"at the rename", {SYS_rename, SYS_renameat, SYS_renameat2}, true},
      {"at a random moment", {}, true},
      {"named, at a write", {SYS_write}, false},
      {"named, at fsync", {SYS_fsync}, false},
      {"named, at the rename", {SYS_rename, SYS_renameat, SYS_renameat2}, false},
      {"named, at a random moment", {}, false},
  };
  for (const auto& c : cases) {
    for (int run = 0; run < (c.calls.empty() ? 10 : 1); ++run) {
      SCOPED_TRACE(std::string(c.label) + " " + std::to_string(run));
      EXPECT_TRUE(killedSave(target, {fresh, other}, c.calls, c.unnamed));
      const QByteArray left = contentsOf(target);
      EXPECT_TRUE(left == old || (c.calls.empty() && (left == fresh || left == other))) << left.size() << " bytes";
      save(target, old);
      EXPECT_EQ(snapshot(), withoutLeftovers);
    }
  }
  // The umask is the process's, and other threads make files meanwhile: a new
  // file takes it from the kernel, and no save changes it.
  EXPECT_FALSE(killedSave(pathOf("new.bmp"), {fresh}, {SYS_umask}, true));
  EXPECT_EQ(QFileInfo(pathOf("new.bmp")).permissions(), QFileInfo(writeFile("plain", "")).permissions());
  if (!root) GTEST_SKIP() << "that another user's file is left alone needs root to give it to that user";
}

}  // namespace
