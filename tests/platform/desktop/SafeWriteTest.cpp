// Whole-file writes: one that fails changes nothing, a save keeps what the
// file was, links are followed only where the kernel would follow them, and
// a save killed midway leaves the old file and nothing else.
#include "platform/desktop/SafeWrite.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QDirIterator>
#include <QFileInfo>

#include <functional>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
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

// Every entry's owner, group, mode, links and extended attributes (the ACL among them).
std::map<QString, std::string> whatEachIs(const QDir& folder) {
  std::map<QString, std::string> found;
  QDirIterator it(folder.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QByteArray path = QFile::encodeName(it.next());
    struct stat info {};
    char names[4096], value[1024];
    ::lstat(path.constData(), &info);
    std::string& text = found[folder.relativeFilePath(it.filePath())] =
        std::to_string(info.st_uid) + ':' + std::to_string(info.st_gid) + " mode " + std::to_string(info.st_mode) +
        " links " + std::to_string(info.st_nlink);
    const ssize_t length = ::llistxattr(path.constData(), names, sizeof names);
    for (const char* name = names; name < names + std::max<ssize_t>(length, 0); name += std::strlen(name) + 1) {
      const ssize_t size = std::max<ssize_t>(::lgetxattr(path.constData(), name, value, sizeof value), 0);
      text += std::string(" ") + name + '=' + QByteArray(value, static_cast<int>(size)).toHex().data();
    }
  }
  return found;
}

// The saved file has the old one's owner, group, permissions, ACL, extended
// attributes and links; what a new file could not be given is kept by
// writing in place, as it is where the folder may not be written. A link is
// followed as the kernel follows it (fs.protected_symlinks, for every
// setting): in a sticky folder anyone may write, only one of the folder
// owner's, or the follower's own, leads on, and no other user's file there is
// written in place; root's rights change nothing. A write that fails changes
// nothing on disk: a full disk is a file size limit of 1 KB here, for any
// user, and a full tmpfs for root; in place, the old contents are put back.
TEST_F(SafeWrite, ASaveKeepsWhatTheFileWasFollowsOnlyTheLinksTheKernelWouldOrChangesNothing) {
  const auto done = [](int result) { return result == 0; };
  const auto attribute = [&](const char* name, const QByteArray& value) {
    return [=] { return done(::setxattr("a.bmp", name, value.constData(), static_cast<size_t>(value.size()), 0)); };
  };
  const auto owner = [&](uid_t uid, mode_t mode) { return [=] { return done(::chown("a.bmp", uid, uid) | ::chmod("a.bmp", mode)); }; };
  const auto link = [&](const char* leadsTo, uid_t linkOwner, uid_t folderOwner, mode_t folderMode) {
    return [=] {
      return done(::symlink(leadsTo, "shared/link") | ::lchown("shared/link", linkOwner, gid_t(-1)) |
                  ::chown("shared", folderOwner, gid_t(-1)) | ::chmod("shared", folderMode));
    };
  };
  const uid_t me = ::geteuid(), other = 4321;
  const Picture picture = Picture::fromImage(QImage(200, 200, QImage::Format_RGB32)), empty;  // about 160 KB as a bitmap
  const QByteArray fresh(100000, 'n');
  std::optional<FullDisk> disk;
  const struct {
    const char *label, *saved;
    std::function<bool()> prepare;
    int error = 0;
    bool needsRoot = false, diskFull = false;
    const Picture* bitmap = nullptr;  // written instead of the fresh bytes
  } cases[] = {
      {"permissions", "a.bmp", [&] { return done(::chmod("a.bmp", 0604)); }},
      // As the kernel keeps it, version 2, then (tag, permissions, id) little-endian: user::rw- user:4321:rw-
      // group::r-- mask::rw- other::---, shown as 0660.
      {"an ACL", "a.bmp",
       attribute("system.posix_acl_access", QByteArray::fromHex("02000000 01000600ffffffff 02000600e1100000 04000400ffffffff"
                                                                "10000600ffffffff 20000000ffffffff"))},
      {"extended attributes", "a.bmp", attribute("user.tavlo.note", "kept")},
      {"other hard links", "a.bmp", [&] { return done(::link("a.bmp", "b.bmp")); }},
      {"a folder that may not be written", "locked/a.bmp",
       [&] { return done(::link("a.bmp", "locked/a.bmp") | ::unlink("a.bmp") | ::chmod("locked", 0500)); }},
      {"another user and group", "a.bmp", owner(other, 0664), 0, true},
      {"another user's setuid and setgid", "a.bmp", owner(65534, 06755), 0, true},
      {"own link in a sticky folder", "shared/link", link("../a.bmp", me, me, 01777)},
      {"own link to a link", "shared/link", link("../c.bmp", me, me, 01777)},
      {"a link to itself", "shared/link", link("link", me, me, 01777), errors::PathFileAccessError},
      {"a link that leads nowhere", "shared/link", link("nowhere", me, me, 0700), errors::PathFileAccessError},
      {"another's file with other links in my sticky folder", "shared/b.bmp",
       [&] { return done(::link("a.bmp", "shared/b.bmp") | ::chown("a.bmp", other, other) | ::chmod("shared", 01777)); },
       errors::PermissionDenied, true},
      {"another's link in my sticky folder", "shared/link", link("../a.bmp", other, me, 01777), errors::PermissionDenied, true},
      {"another's link in that user's sticky folder", "shared/link", link("../a.bmp", other, other, 01777), 0, true},
      {"another's link in a folder that is not sticky", "shared/link", link("../a.bmp", other, me, 0777), 0, true},
      {"another's link in a sticky folder only I may write", "shared/link", link("../a.bmp", other, me, 01755), 0, true},
      {"a folder", "shared", [] { return true; }, errors::PathFileAccessError},
      {"the empty picture", "new.bmp", [] { return true; }, errors::InvalidPicture, false, false, &empty},
      {"disk full", "a.bmp", [] { return true; }, errors::DiskFull, false, true},
      {"disk full, a new name", "new.bmp", [] { return true; }, errors::DiskFull, false, true},
      {"disk full, in place", "a.bmp", [&] { return done(::link("a.bmp", "b.bmp")); }, errors::DiskFull, false, true},
      {"disk full, a bitmap", "a.bmp", [] { return true; }, errors::DiskFull, false, true, &picture},
      {"a full tmpfs, a new name", "shared/new.bmp", [&] { return disk.emplace("shared").mounted(); }, errors::DiskFull, true},
      {"a full tmpfs, over a file", "shared/a.bmp",
       [&] { return disk.emplace("shared").mounted() && QFile::copy("a.bmp", "shared/a.bmp"); }, errors::DiskFull, true},
  };
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit normal{};
  ::getrlimit(RLIMIT_FSIZE, &normal);
  const rlimit full{1024, normal.rlim_max};
  SkippedRows skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (skipped.note(c.needsRoot && me != 0, c.label)) continue;
    QDir(folder.path()).removeRecursively();
    for (const char* made : {"locked", "shared"}) makeFolder(made);
    writeFile("a.bmp", "old");
    QDir::setCurrent(folder.path());
    ASSERT_TRUE(QFile::link("a.bmp", "c.bmp") && c.prepare()) << std::strerror(errno);
    std::optional<PermissionBitsApply> ordinaryUser;  // for root, a folder it may not write is one without its override
    if (skipped.note(c.saved == QStringLiteral("locked/a.bmp") && !ordinaryUser.emplace().active(), c.label)) continue;
    const auto was = whatEachIs(folder);
    auto before = snapshot();
    ::setrlimit(RLIMIT_FSIZE, c.diskFull ? &full : &normal);
    EXPECT_EQ(raisedError([&] { c.bitmap ? c.bitmap->saveAsBitmap(pathOf(c.saved)) : save(pathOf(c.saved), fresh); }), c.error);
    ::setrlimit(RLIMIT_FSIZE, &normal);
    for (auto& [name, bytes] : before) bytes = bytes == "old" && !c.error ? fresh : bytes;
    EXPECT_EQ(snapshot(), before) << "every link has the new contents, and nothing else is new";
    EXPECT_EQ(whatEachIs(folder), was);
    disk.reset();
    ::chmod("locked", 0700);
  }
  if (!skipped.rows.empty()) GTEST_SKIP() << "rows that need root (to mount, give files away, or obey permission bits):" << skipped.rows;
}

// A save in a child process that the kernel kills at the first of these
// calls; where unnamed files are refused, as on file systems that have none.
// True when it was killed.
bool killedSave(const QString& path, const QByteArray& contents, const std::vector<int>& calls, bool unnamed) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_DUMPABLE, 0);  // no core file
    std::vector<sock_filter> filter{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const int call : calls)
      filter.insert(filter.end(), {BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1),
                                   BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS)});
    if (!unnamed)
      filter.insert(filter.end(), {BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 3),
                                   BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
                                   BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
                                   BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP)});
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      ::_exit(2);
    ::_exit(raisedError([&] { save(path, contents); }));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

// Wherever a save is killed, the old file whole and no temporary file left:
// unnamed ones go with the process; named ones, and an unnamed one killed
// after it was named, go at the next save in the folder, which leaves every
// file it did not make, also those that look like its own.
TEST_F(SafeWrite, ASaveKilledMidwayLeavesTheOldFileAndNothingElse) {
  const QByteArray old(5000, 'o'), fresh(300000, 'n');
  const pid_t gone = 9999999;  // more than the kernel gives out
  const QString boot = QString::fromLatin1(contentsOf("/proc/sys/kernel/random/boot_id").left(8));
  const auto named = [&](pid_t writer, const char* random = "abc123", const QString& inBoot = {}) {
    return QString(".tavlo-save-%1-%2-%3").arg(writer).arg(inBoot.isEmpty() ? boot : inBoot, random);
  };
  // A live writer's, other names, another boot's still written to, one with a second link.
  for (const QString& kept : {named(::getpid()), named(gone) + ".bmp", named(gone, "abc12"), QString(".tavlo-Xa3bC9"),
                              named(gone, "abc123", "0123abcd"), named(gone)})
    writeFile(kept, "not the sweep's to remove");
  ASSERT_TRUE(::link(QFile::encodeName(pathOf(named(gone))), QFile::encodeName(pathOf("second link"))) == 0 &&
              QFile::link("nowhere", pathOf(named(gone - 1))));
  ASSERT_TRUE(::geteuid() != 0 || ::chown(QFile::encodeName(writeFile(named(gone, "ABC123"), "")), 65534, 65534) == 0);
  const QString target = writeFile("target.bmp", old);
  const auto withoutLeftovers = snapshot();
  writeFile(named(gone, "xyz123"), "");
  QFile untouched(writeFile(named(gone, "xyz123", "0123abcd"), ""));  // for a day and a minute
  ASSERT_TRUE(untouched.open(QIODevice::ReadWrite) &&
              untouched.setFileTime(QDateTime::currentDateTime().addSecs(-24 * 3600 - 60), QFileDevice::FileModificationTime));

  const std::vector<int> write{SYS_write}, fsync{SYS_fsync}, naming{SYS_linkat}, rename{SYS_rename, SYS_renameat, SYS_renameat2};
  for (const bool unnamed : {true, false}) {
    for (const auto* calls : {&write, &fsync, &naming, &rename}) {
      if (calls == &naming && !unnamed) continue;  // a named file needs no naming
      SCOPED_TRACE(testing::Message() << (unnamed ? "unnamed" : "named") << ", killed at call " << calls->front());
      EXPECT_TRUE(killedSave(target, fresh, *calls, unnamed));
      EXPECT_EQ(contentsOf(target), old);
      save(target, old);
      EXPECT_EQ(snapshot(), withoutLeftovers);
    }
  }
  // The umask is the process's, and other threads make files meanwhile: a new
  // file takes it from the kernel, and no save changes it.
  EXPECT_FALSE(killedSave(pathOf("new.bmp"), fresh, {SYS_umask}, true));
  EXPECT_EQ(QFileInfo(pathOf("new.bmp")).permissions(), QFileInfo(writeFile("plain", "")).permissions());
  if (::geteuid() != 0) GTEST_SKIP() << "that another user's file is left alone needs root to give one away";
}

}  // namespace
