// Copies and saved bitmaps are written whole or not at all. "Save As BMP..."
// through the browser covers copies byte for byte, also onto themselves, and
// writes refused on a full tmpfs, in missing or locked folders and over
// read-only files.
#include "platform/desktop/SafeWrite.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using platform::FileCopy;
using platform::Picture;
namespace errors = platform::errors;

namespace {

using SafeWrite = FreshProgram;

// An older file keeps its permissions; what is no file is not replaced.
TEST_F(SafeWrite, ACopyKeepsTheOlderFilesPermissionsAndReplacesOnlyAFile) {
  const QString source = writeFile("source.bmp", "new");
  const QString target = writeFile("target.bmp", QByteArray(5000, 'o'));
  ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
  const QFileDevice::Permissions permissions = QFile::permissions(target);
  FileCopy(source, target);
  EXPECT_EQ(contentsOf(target), "new");
  EXPECT_EQ(QFile::permissions(target), permissions);
  const QString fifo = pathOf("fifo");
  ASSERT_TRUE(makeFifo(fifo));
  EXPECT_EQ(raisedError([&] { FileCopy(source, fifo); }), errors::PathFileAccessError);
  EXPECT_FALSE(QFileInfo(fifo).isFile());
}

// A disk that fills up is a file size limit of 1 KB here, for any user.
TEST_F(SafeWrite, AFailedWriteChangesNothingOnDisk) {
  const QString source = writeFile("source.bmp", QByteArray(100000, 's'));
  const Picture picture = Picture::fromImage(QImage(200, 200, QImage::Format_RGB32));  // about 160 KB as a bitmap
  writeFile("old.bmp", "the old contents");
  makeFolder("folder");
  ASSERT_TRUE(QFile::link("nowhere.bmp", pathOf("dangling.bmp")));
  using Write = std::function<void(const QString&)>;
  const Write copy = [&](const QString& target) { FileCopy(source, target); };
  const Write save = [&](const QString& target) { picture.saveAsBitmap(target); };
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
      {"save over a file, disk full", save, "old.bmp", errors::DiskFull, true},
      {"save to a new name, disk full", save, "new.bmp", errors::DiskFull, true},
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
}

}  // namespace
