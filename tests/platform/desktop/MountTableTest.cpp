// The volumes listed from the kernel's mount table, and what the kernel
// already knows of a mount point.
#include "platform/desktop/MountTable.h"
#include "platform/desktop/Seams.h"
#include "support/HungVolume.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <future>
#include <thread>
#include <tuple>

namespace {

// A line as the kernel writes it, with the mount point escaped as there.
QByteArray mountLine(const char* mountPoint, const char* type, const char* optionalFields = "shared:1 ") {
  return QByteArray("36 25 8:1 / ") + mountPoint + " rw,relatime " + optionalFields + "- " + type + " /dev/sda1 rw\n";
}

TEST(MountTable, ListsTheBrowsableMountsRootFirstAndEachOnce) {
  const QStringList files = {"/etc/resolv.conf", "/etc/hostname"};
  const auto knownNotFolder = [&](const QString& path) { return files.contains(path); };
  const std::tuple<const char*, QByteArray, QStringList> cases[] = {
      {"pseudo file systems and system trees left out, media and network volumes kept",
       mountLine("/", "ext4") + mountLine("/proc", "proc") + mountLine("/sys/fs/cgroup", "cgroup2") +
           mountLine("/dev/shm", "tmpfs") + mountLine("/run", "tmpfs") + mountLine("/run/user/1000/gvfs", "fuse.gvfsd-fuse") +
           mountLine("/run/media/ann/USB", "vfat") + mountLine("/boot/efi", "vfat") + mountLine("/snap/core/17", "squashfs") +
           mountLine("/var/lib/docker", "ext4") + mountLine("/var/run/user", "tmpfs") + mountLine("/mnt/ram", "ramfs") +
           mountLine("/mnt/cache", "tmpfs") + mountLine("/srv", "nfs4") + mountLine("/home", "ext4"),
       {"/", "/home", "/mnt/cache", "/run/media/ann/USB", "/srv"}},
      {"escapes decoded once; no root in the table",
       mountLine("/media/Photo\\040Disk", "ext4") + mountLine("/mnt/a\\011b\\012c\\134d", "ext4") +
           mountLine("/mnt/x\\134040", "ext4") + mountLine("/media/Gr\xc3\xbc\xc3\x9f" "e", "ext4"),
       {"/media/Grüße", "/media/Photo Disk", "/mnt/a\tb\nc\\d", "/mnt/x\\040"}},
      {"root first and mounts over mounts once, whatever the order",
       mountLine("/data", "ext4") + mountLine("/", "overlay") + mountLine("/data", "xfs") + mountLine("/Archive", "ext4"),
       {"/", "/Archive", "/data"}},
      {"files bind-mounted into a container",
       mountLine("/", "overlay") + mountLine("/etc/resolv.conf", "ext4") + mountLine("/etc/hostname", "ext4") +
           mountLine("/etc/pictures", "ext4"),
       {"/", "/etc/pictures"}},
      {"optional fields, none or many; lines without a type or mount path skipped",
       mountLine("/a", "ext4", "") + mountLine("/b", "ext4", "shared:1 master:2 propagate_from:3 ") +
           "36 25 8:1 / /c rw,relatime -\n" + "36 25 8:1 / /d rw,relatime - \n" +
           "36 25 8:1 / /e rw,relatime shared:1 ext4 /dev/sda1 rw\n" + mountLine("relative", "ext4") + "\n",
       {"/a", "/b"}},
      {"the first root an image leaves beside the real one", mountLine("/", "rootfs") + mountLine("/srv", "ext4"), {"/srv"}},
      {"no table, or nothing left in it", QByteArray(), {"/"}},
  };
  for (const auto& [what, table, expected] : cases)
    EXPECT_EQ(platform::browsableMounts(table, knownNotFolder), expected) << what;
}

// Only what is known not to be a folder; a FIFO is not opened.
TEST(MountTable, KnowsWhatIsNoFolderWithoutOpeningIt) {
  QTemporaryDir temporary;
  ASSERT_TRUE(temporary.isValid());
  QFile file(temporary.filePath("hostname"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(::mkfifo(QFile::encodeName(temporary.filePath("fifo")).constData(), 0600), 0);
  const std::pair<QString, bool> cases[] = {{temporary.path(), false},           {file.fileName(), true},
                                            {temporary.filePath("fifo"), true}, {temporary.filePath("gone"), true},
                                            {file.fileName() + "/below", true}};
  for (const auto& [path, notFolder] : cases) EXPECT_EQ(platform::knownNotFolder(path), notFolder) << path.toStdString();
}

// A volume whose statfs and stat never come back is listed all the same,
// at once: the list is made without asking any volume anything.
TEST(MountTable, ListsAVolumeThatDoesNotAnswerWithoutWaitingForIt) {
  QTemporaryDir temporary;
  HungVolume volume;
  if (!volume.mount(temporary.path())) GTEST_SKIP() << volume.whyNot().toStdString();
  volume.hold(HungVolume::Call::StatFs);
  volume.hold(HungVolume::Call::Stat);
  const QByteArray root = QFile::encodeName(temporary.path());
  auto held = std::async(std::launch::async, [&] { struct stat found {}; return ::stat(root.constData(), &found); });
  for (int i = 0; i < 1000 && volume.waiting(HungVolume::Call::Stat) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(volume.waiting(HungVolume::Call::Stat), 1) << "the volume holds the root's stat";
  auto listed = std::async(std::launch::async, [] { return platform::qtSeams().volumes->mountPaths(); });
  const bool answered = listed.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  volume.release(HungVolume::Call::StatFs);
  volume.release(HungVolume::Call::Stat);
  EXPECT_EQ(held.get(), 0);
  ASSERT_TRUE(answered);
  EXPECT_TRUE(listed.get().contains(QDir(temporary.path()).absolutePath()));
}

}  // namespace
