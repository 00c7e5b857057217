// Copies and saved bitmaps are written whole or not at all.
#include "platform/desktop/SafeWrite.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>

#include <csignal>
#include <functional>
#include <iostream>
#include <optional>
#include <sys/resource.h>

using platform::FileCopy;
using platform::Picture;

namespace {

using SafeWrite = FreshProgram;

// While alive, files may grow to 1 KB only, as on a disk that fills up.
class SmallFileLimit {
 public:
  SmallFileLimit() : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit small = previous_;
    small.rlim_cur = 1024;
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
  ASSERT_TRUE(QFile::link(QStringLiteral("nowhere.bmp"), pathOf(QStringLiteral("dangling.bmp"))));

  using Write = std::function<void(const QString&)>;
  const Write copy = [&](const QString& target) { FileCopy(source, target); };
  const Write save = [&](const QString& target) { picture.saveAsBitmap(target); };
  const struct {
    const char* label;
    Write write;
    const char* target;
    int error = 0;  // 0: any
  } cases[] = {
      {"copy of a source that is gone", [&](const QString& t) { FileCopy(pathOf(QStringLiteral("gone.bmp")), t); },
       "target.bmp"},
      {"copy from a folder", [&](const QString& t) { FileCopy(locked, t); }, "target.bmp"},
      {"copy into a missing folder", copy, "missing/target.bmp"},
      {"copy into a path through a file", copy, "plain.txt/target.bmp"},
      {"copy into a folder that may not be written", copy, "locked/target.bmp"},
      {"copy over a file that may not be written", copy, "readonly.bmp"},
      {"save over a file that may not be written", save, "readonly.bmp"},
      {"copy onto a folder", copy, "locked"},
      {"copy through a link that leads nowhere", copy, "dangling.bmp"},
      {"save of the empty picture", [](const QString& t) { Picture().saveAsBitmap(t); }, "empty.bmp",
       platform::errors::InvalidPicture},
  };

  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  const auto before = snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const int error = raisedError([&] { c.write(pathOf(QString::fromLatin1(c.target))); });
    EXPECT_TRUE(c.error == 0 ? error != 0 : error == c.error) << error;
    EXPECT_EQ(snapshot(), before);
  }
}

// A bitmap that fits in any write buffer and one far larger, saved or
// copied onto an existing file and onto a new name, on a disk that fills up.
TEST_F(SafeWrite, ADiskThatFillsUpLeavesTheTargetAsItWasAndNoOtherFile) {
  QImage smallImage(24, 24, QImage::Format_RGB32), largeImage(400, 300, QImage::Format_RGB32);
  smallImage.fill(Qt::red);
  largeImage.fill(Qt::blue);
  const struct {
    const char* label;
    Picture picture;
    QString source;  // a bitmap file of that size, to copy
  } sizes[] = {
      {"small", Picture::fromImage(smallImage), writeFile(QStringLiteral("small.bmp"), QByteArray(1800, 's'))},
      {"large", Picture::fromImage(largeImage), writeFile(QStringLiteral("large.bmp"), QByteArray(360054, 'l'))},
  };
  const QByteArray oldBytes = "the old contents";
  for (const bool tmpfs : {false, true}) {
    SCOPED_TRACE(tmpfs ? "a full tmpfs" : "a file size limit");
    const QString name = tmpfs ? QStringLiteral("tmpfs") : QStringLiteral("limited");
    const QString disk = makeFolder(name);
    std::optional<FullDisk> full;
    if (tmpfs && !full.emplace(disk).mounted()) {
      std::cout << "[  NOTE    ] no tmpfs can be mounted here; the file size limit stands for a full disk\n";
      continue;
    }
    writeFile(name + QStringLiteral("/old.bmp"), oldBytes);
    if (full) full->fill();
    const auto before = snapshot();
    for (const auto& size : sizes)
      for (const char* target : {"old.bmp", "new.bmp"})
        for (const bool copy : {false, true}) {
          SCOPED_TRACE(std::string(copy ? "copy of a " : "save of a ") + size.label + " bitmap onto " + target);
          const QString path = disk + QLatin1Char('/') + QLatin1String(target);
          std::optional<SmallFileLimit> limit;
          if (!tmpfs) limit.emplace();
          const int error = raisedError([&] { copy ? FileCopy(size.source, path) : size.picture.saveAsBitmap(path); });
          limit.reset();
          EXPECT_EQ(error, platform::errors::DiskFull);
          EXPECT_EQ(snapshot(), before);
        }
  }
}

}  // namespace
