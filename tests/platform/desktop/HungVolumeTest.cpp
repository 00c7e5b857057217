// Each kind of call into a hung volume waits while held, also where the
// kernel has answered it before, and other calls go on meanwhile; released,
// it comes back with what it came for. A volume that goes, or whose server
// is killed, ends the calls it holds with an error, and with it any use of a
// file on it left open.
#include "support/HungVolume.h"

#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Call = HungVolume::Call;
const std::string photoBytes = "the photo's bytes";

std::string statOf(const std::string& path) {
  struct stat found {};
  if (::stat(path.c_str(), &found) != 0) return "failed";
  return S_ISDIR(found.st_mode) ? "folder" : "file of " + std::to_string(found.st_size) + " bytes";
}

bool isHungVolume(const std::string& path) {
  struct statfs found {};
  return ::statfs(path.c_str(), &found) == 0 && found.f_type == FUSE_SUPER_MAGIC;
}

// A call into the volume at root, with its photo open as photo: what it found, or "failed".
using VolumeCall = std::string (*)(const std::string& root, int photo);

const struct HeldCallCase {
  const char* label;
  Call call;
  const char* heldPath;  // empty: every path
  VolumeCall run;
  std::string found;
} heldCalls[] = {
    {"stat of a file", Call::Stat, "a/photo.jpg", [](const std::string& root, int) { return statOf(root + "/a/photo.jpg"); },
     "file of 17 bytes"},
    {"stat of the root", Call::Stat, ".", [](const std::string& root, int) { return statOf(root); }, "folder"},
    {"open", Call::Open, "a/photo.jpg",
     [](const std::string& root, int) -> std::string {
       const int fd = ::open((root + "/a/photo.jpg").c_str(), O_RDONLY | O_CLOEXEC);
       return fd >= 0 && ::close(fd) == 0 ? "opened" : "failed";
     },
     "opened"},
    {"read of bytes read before", Call::Read, "a/photo.jpg",
     [](const std::string&, int photo) -> std::string {
       char bytes[64];
       const ssize_t count = ::pread(photo, bytes, sizeof bytes, 0);
       return count < 0 ? "failed" : std::string(bytes, static_cast<size_t>(count));
     },
     photoBytes},
    {"listing of a folder", Call::List, "a",
     [](const std::string& root, int) -> std::string {
       const QStringList names = QDir(QString::fromStdString(root + "/a")).entryList(QDir::AllEntries | QDir::Hidden);
       return names.isEmpty() ? "failed" : names.join(' ').toStdString();
     },
     ". .. b photo.jpg"},
    {"statfs", Call::StatFs, "", [](const std::string& root, int) -> std::string { return isHungVolume(root) ? "hung volume" : "failed"; },
     "hung volume"},
};

bool within10s(const std::function<bool()>& condition) {
  for (int i = 0; i < 10000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return condition();
}

// How a hold ends.
enum class End { Release, Destroy, KillServer };

// Makes each call once, then again on a thread of its own while held, and
// ends the hold.
void holdEachCall(End end) {
  for (const HeldCallCase& c : heldCalls) {
    SCOPED_TRACE(c.label);
    QTemporaryDir folder;
    const std::string root = QFile::encodeName(folder.path()).toStdString();
    auto volume = std::make_unique<HungVolume>();
    volume->addFile("a/photo.jpg", QByteArray::fromStdString(photoBytes));
    volume->addFolder("a/b");
    volume->addFile("other.txt", "other");
    if (!volume->mount(folder.path())) GTEST_SKIP() << "No FUSE volume to hold calls on: " << volume->whyNot().toStdString();
    const int photo = ::open((root + "/a/photo.jpg").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(c.run(root, photo), c.found);

    volume->hold(c.call, c.heldPath);
    std::atomic<bool> done = false;
    std::string found;
    std::thread caller([&] {
      found = c.run(root, photo);
      done = true;
    });
    EXPECT_TRUE(within10s([&] { return volume->waiting(c.call) == 1; }));
    EXPECT_FALSE(done);
    EXPECT_EQ(statOf(root + "/other.txt"), "file of 5 bytes");
    if (end == End::Release) volume->release(c.call, c.heldPath);
    if (end == End::Destroy) volume.reset();
    if (end == End::KillServer) ::kill(volume->server(), volume->server() > 0 ? SIGKILL : 0);  // not the process group
    EXPECT_TRUE(within10s([&] { return done.load(); }));
    volume.reset();  // which would end the call, were it still held
    caller.join();
    EXPECT_EQ(found, end == End::Release ? c.found : "failed");

    char byte = 0;
    EXPECT_EQ(::pread(photo, &byte, 1, 0), -1);
    EXPECT_FALSE(isHungVolume(root));
    ::close(photo);
  }
}

TEST(HungVolumeCalls, WaitWhileHeldAsOthersGoOnAndComeBackWhenReleased) { holdEachCall(End::Release); }

TEST(HungVolumeCalls, HeldWhenTheVolumeGoesFailInsteadOfHanging) { holdEachCall(End::Destroy); }

TEST(HungVolumeCalls, HeldWhenItsServerIsKilledFailInsteadOfHanging) { holdEachCall(End::KillServer); }

}  // namespace
