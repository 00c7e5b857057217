// Loading pictures: the empty picture, handles, natural size, and every way a
// path can fail to give a picture.
#include "platform/forms/LoadPicture.h"
#include "platform/pictures/Picture.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/PictureBytes.h"
#include "support/RaisedError.h"

#include <QFile>

#include <algorithm>

using platform::Picture;
namespace errors = platform::errors;

namespace {

int loadError(const QString& path) {
  return raisedError([&] { Picture::load(path); });
}

using PictureLoad = FreshProgram;

TEST_F(PictureLoad, HandleIsNonZeroExactlyWhileAPictureIsHeld) {
  const Picture none = platform::LoadPicture();  // no path: the empty picture
  EXPECT_TRUE(none.isEmpty());
  EXPECT_EQ(none.handle(), 0u);
  EXPECT_EQ(none.width(), 0.0f);
  EXPECT_EQ(none.height(), 0.0f);

  const QString path = writePicture(QStringLiteral("small.png"), 4, 3);
  Picture first = Picture::load(path);
  const Picture second = Picture::load(path);
  EXPECT_NE(first.handle(), 0u);
  EXPECT_NE(second.handle(), 0u);
  EXPECT_NE(first.handle(), second.handle());

  const Picture copy = first;
  EXPECT_EQ(copy.handle(), first.handle());
  first = Picture();
  EXPECT_EQ(first.handle(), 0u);
  EXPECT_EQ(copy.pixelSize(), QSize(4, 3));
  EXPECT_EQ(Picture::fromImage(QImage()).handle(), 0u);
}

TEST_F(PictureLoad, NaturalSizeIsThePixelSizeInTwipsOfEachAxis) {
  const Picture picture = Picture::load(writePicture(QStringLiteral("wide.bmp"), 37, 11));
  EXPECT_EQ(picture.pixelSize(), QSize(37, 11));
  EXPECT_FLOAT_EQ(picture.width(), 37 * 15);
  EXPECT_FLOAT_EQ(picture.height(), 11 * 15);

  seams.screen->dpiY = 144;  // 10 twips per pixel down, still 15 across
  EXPECT_FLOAT_EQ(picture.width(), 37 * 15);
  EXPECT_FLOAT_EQ(picture.height(), 11 * 10);
}

TEST_F(PictureLoad, WhatIsNoRegularFileFailsAtOnce) {
  writeFile(QStringLiteral("plain.jpg"), "x");
  ASSERT_TRUE(makeFifo(pathOf(QStringLiteral("fifo.jpg"))));
  ASSERT_TRUE(makeSocket(pathOf(QStringLiteral("socket.jpg"))));
  const struct {
    QString path;
    int error;
  } cases[] = {
      {pathOf(QStringLiteral("missing.jpg")), errors::FileNotFound},
      {pathOf(QStringLiteral("no-folder/missing.jpg")), errors::FileNotFound},
      {pathOf(QStringLiteral("plain.jpg/inner.jpg")), errors::PathNotFound},
      {makeFolder(QStringLiteral("folder.jpg")), errors::PathFileAccessError},
      {pathOf(QStringLiteral("fifo.jpg")), errors::PathFileAccessError},  // blocking here would hang the test
      {pathOf(QStringLiteral("socket.jpg")), errors::PathFileAccessError},
      {QStringLiteral("/dev/null"), errors::PathFileAccessError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    EXPECT_EQ(loadError(c.path), c.error);
  }
}

TEST_F(PictureLoad, UnreadableFileIsPermissionDenied) {
  const QString path = writePicture(QStringLiteral("locked.bmp"), 4, 4);
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  EXPECT_EQ(loadError(path), errors::PermissionDenied);
}

TEST_F(PictureLoad, DataThatHoldsNoWholePictureIsAnInvalidPicture) {
  const QByteArray jpeg = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  const QByteArray progressive = contentsOf(testData(QStringLiteral("pillow_app13-multiple.jpg")));
  // Headers that promise 60000 by 60000 pixels (several gigabytes decoded)
  // must be refused without trying to find the memory.
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"words.jpg", "Just some words, no picture at all.\r\n"},
      {"empty.bmp", QByteArray()},
      {"half.jpg", jpeg.left(jpeg.size() / 2)},
      {"cut-progressive.jpg", progressive.left(progressive.size() * 3 / 4)},
      {"huge.bmp", bitmapFile(60000, 60000, 24, 0)},
      {"huge-top-down.bmp", bitmapFile(60000, -60000, 32, 0)},
      // Small enough to be decoded within the allocation limit, but the file
      // holds none of its 192 MB of pixels.
      {"large.bmp", bitmapFile(8000, 8000, 24, 0, QByteArray(64, '\x7F'))},
      {"huge.gif", gifFile(60000, 60000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(loadError(writeFile(QString::fromLatin1(c.name), c.bytes)), errors::InvalidPicture);
  }
}

TEST_F(PictureLoad, HandMadeHeadersAreSoundWhenTheSizeIsSmall) {
  // The refusals above are for the size alone: the same files at a small
  // size load.
  const QByteArray twoByTwo = bitmapFile(2, 2, 24, 0, QByteArray(16, '\x40'));
  EXPECT_EQ(Picture::load(writeFile(QStringLiteral("small.bmp"), twoByTwo)).pixelSize(), QSize(2, 2));
  EXPECT_EQ(Picture::load(writeFile(QStringLiteral("small.gif"), gifFile(1, 1))).pixelSize(), QSize(1, 1));
}

TEST_F(PictureLoad, PictureAboveTheDecodersOwnMemoryLimitLoads) {
  // 12000 by 12000 pixels of one colour, run-length coded: about 1 MB of file
  // but 144 MB decoded, beyond the 128 MB the decoders allow by default.
  constexpr int Side = 12000;
  QByteArray runs;
  for (int row = 0; row < Side; ++row) {
    for (int left = Side; left > 0; left -= 255) {
      runs.append(static_cast<char>(std::min(left, 255)));
      runs.append('\1');
    }
    runs.append(2, '\0');  // end of row
  }
  runs.append("\0\1", 2);  // end of picture
  const QByteArray colours = QByteArray::fromHex("00000000808080ff") + QByteArray(254 * 4, '\0');  // black, grey, ...
  const QString path = writeFile(QStringLiteral("large.bmp"), bitmapFile(Side, Side, 8, 1, runs, colours));
  EXPECT_EQ(Picture::load(path).pixelSize(), QSize(Side, Side));
}

// The most memory the process has held, from the system's own count.
qint64 peakResidentKilobytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').front().toLongLong();
  return 0;
}

TEST_F(PictureLoad, AHugeFileThatIsNoPictureIsJudgedByItsFirstBytes) {
  QFile file(pathOf(QStringLiteral("photo.jpg")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.resize(2'000'000'000));  // sparse: takes no disk space
  file.close();
  const qint64 before = peakResidentKilobytes();
  EXPECT_EQ(loadError(file.fileName()), errors::InvalidPicture);
  EXPECT_LT(peakResidentKilobytes() - before, 64 * 1024) << "read whole";
}

}  // namespace
