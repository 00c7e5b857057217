// The hung volume that the liveness tests hold calls on. They see their
// stats, opens, reads and listings wait (HungVolume::waiting), and release
// them; the mount table's test holds the root's stat and statfs, which it
// cannot see wait, so those are shown held here. A held call comes back
// once released; when the volume goes, or its server is killed, it fails at
// once instead of hanging the test, and so does any use of a file on it left
// open.
#include "support/HungVolume.h"

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Call = HungVolume::Call;

bool within10s(const std::function<bool()>& condition) {
  for (int i = 0; i < 10000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return condition();
}

TEST(HungVolume, AHeldCallWaitsUntilReleasedAndFailsAtOnceWhenTheVolumeOrItsServerGoes) {
  enum class End { Release, Destroy, KillServer };
  // Whether the call on the volume's root found what it came for.
  const std::pair<Call, bool (*)(const char*)> calls[] = {
      {Call::Stat, [](const char* root) { struct stat found {}; return ::stat(root, &found) == 0 && S_ISDIR(found.st_mode); }},
      {Call::StatFs, [](const char* root) { struct statfs got {}; return ::statfs(root, &got) == 0 && got.f_type == FUSE_SUPER_MAGIC; }},
  };
  for (const End end : {End::Release, End::Destroy, End::KillServer}) {
    for (const auto& [call, run] : calls) {
      SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call) << ", end " << static_cast<int>(end));
      QTemporaryDir folder;
      const QByteArray root = QFile::encodeName(folder.path()), photo = root + "/photo.jpg";
      auto volume = std::make_unique<HungVolume>();
      volume->addFile("photo.jpg", "the photo's bytes");
      if (!volume->mount(folder.path())) GTEST_SKIP() << "No FUSE volume to hold calls on: " << volume->whyNot().toStdString();
      const int open = ::open(photo.constData(), O_RDONLY | O_CLOEXEC);
      ASSERT_TRUE(run(root.constData()));

      volume->hold(call, ".");
      std::atomic<int> found = -1;
      std::thread caller([&] { found = run(root.constData()); });
      EXPECT_TRUE(within10s([&] { return volume->waiting(call) == 1; }));
      EXPECT_EQ(found.load(), -1);
      struct stat other {};
      EXPECT_EQ(::stat(photo.constData(), &other), 0) << "other calls go on";
      if (end == End::Release) volume->release(call, ".");
      if (end == End::Destroy) volume.reset();
      if (end == End::KillServer) ::kill(volume->server(), volume->server() > 0 ? SIGKILL : 0);  // not the process group
      EXPECT_TRUE(within10s([&] { return found.load() != -1; }));
      volume.reset();  // which would end the call, were it still held
      caller.join();
      EXPECT_EQ(found.load(), end == End::Release ? 1 : 0);

      char byte = 0;
      EXPECT_EQ(::pread(open, &byte, 1, 0), -1);
      ::close(open);
    }
  }
}

}  // namespace
