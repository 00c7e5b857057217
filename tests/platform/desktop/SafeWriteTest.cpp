// Copies and saved bitmaps are written whole or not at all.
#include "platform/desktop/SafeWrite.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>

using platform::FileCopy;
using platform::Picture;

namespace {

using SafeWrite = FreshProgram;

// While alive, files may grow to 4 KB only, as on a disk that fills up.
class SmallFileLimit {
 public:
  SmallFileLimit() : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit small = previous_;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~SmallFileLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, handler_);
  }
  SmallFileLimit(const SmallFileLimit&) = delete;
  SmallFileLimit& operator=(const SmallFileLimit&) = delete;

 private:
  rlimit previous_{};
  void (*handler_)(int);
};

TEST_F(SafeWrite, CopiesByteForByteOverAnOlderFileKeepingItsPermissions) {
  QByteArray bytes;
  for (int i = 0; i < 3 * 256; ++i) bytes.append(static_cast<char>(i));  // every byte value, NULs too
  const QString source = writeFile(QStringLiteral("source.bmp"), bytes);
  const QString target = writeFile(QStringLiteral("target.bmp"), QByteArray(5000, 'o'));
  ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
  const QFileDevice::Permissions permissions = QFile::permissions(target);

  ASSERT_EQ(raisedError([&] { FileCopy(source, target); }), 0);
  EXPECT_EQ(contentsOf(target), bytes);
  EXPECT_EQ(QFile::permissions(target), permissions);
  EXPECT_EQ(snapshot().size(), 2u);
}

TEST_F(SafeWrite, CopyOntoItselfLeavesTheFileAsItWas) {
  ASSERT_TRUE(QFile::copy(testData(QStringLiteral("bmpsuite_g_pal8.bmp")), pathOf(QStringLiteral("scan.BMP"))));
  const auto before = snapshot();
  const QString spellings[] = {pathOf(QStringLiteral("scan.BMP")), QStringLiteral("scan.BMP"),
                               pathOf(QStringLiteral("sub/../scan.BMP"))};
  makeFolder(QStringLiteral("sub"));
  for (const QString& target : spellings) {
    EXPECT_EQ(raisedError([&] { FileCopy(pathOf(QStringLiteral("scan.BMP")), target); }), 0) << target.toStdString();
    EXPECT_EQ(contentsOf(pathOf(QStringLiteral("scan.BMP"))), before.at(QStringLiteral("scan.BMP")));
  }
}

// Saving a picture as a bitmap goes through the same writer as a copy.
TEST_F(SafeWrite, AFailedWriteChangesNothingOnDisk) {
  const QString source = writeFile(QStringLiteral("source.bmp"), QByteArray(100000, 's'));
  const Picture picture = Picture::fromImage(QImage(200, 200, QImage::Format_RGB32));  // about 160 KB as a bitmap
  writeFile(QStringLiteral("plain.txt"), "x");
  writeFile(QStringLiteral("target.bmp"), "the old contents");
  const QString readOnly = writeFile(QStringLiteral("readonly.bmp"), "the old contents");
  ASSERT_TRUE(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
  const QString locked = makeFolder(QStringLiteral("locked"));
  writeFile(QStringLiteral("locked/target.bmp"), "the old contents");
  ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

  using Write = std::function<void(const QString&)>;
  const Write copy = [&](const QString& target) { FileCopy(source, target); };
  const Write save = [&](const QString& target) { picture.saveAsBitmap(target); };
  const struct {
    const char* label;
    Write write;
    const char* target;
    bool diskFillsUp;
    int error = 0;  // 0: any
  } cases[] = {
      {"copy of a source that is gone", [&](const QString& t) { FileCopy(pathOf(QStringLiteral("gone.bmp")), t); },
       "target.bmp", false},
      {"copy from a folder", [&](const QString& t) { FileCopy(locked, t); }, "target.bmp", false},
      {"copy into a missing folder", copy, "missing/target.bmp", false},
      {"copy into a path through a file", copy, "plain.txt/target.bmp", false},
      {"copy into a folder that may not be written", copy, "locked/target.bmp", false},
      {"copy over a file that may not be written", copy, "readonly.bmp", false},
      {"save over a file that may not be written", save, "readonly.bmp", false},
      {"copy onto a folder", copy, "locked", false},
      {"copy on a disk that fills up", copy, "target.bmp", true},
      {"save on a disk that fills up", save, "target.bmp", true},
      {"save of the empty picture", [](const QString& t) { Picture().saveAsBitmap(t); }, "empty.bmp", false,
       platform::errors::InvalidPicture},
  };

  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  const auto before = snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::optional<SmallFileLimit> limit;
    if (c.diskFillsUp) limit.emplace();
    const int error = raisedError([&] { c.write(pathOf(QString::fromLatin1(c.target))); });
    limit.reset();
    EXPECT_TRUE(c.error == 0 ? error != 0 : error == c.error) << error;
    EXPECT_EQ(snapshot(), before);
  }
}

}  // namespace
