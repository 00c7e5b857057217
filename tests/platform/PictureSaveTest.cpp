// Saving a picture as a Windows bitmap: the file is whole or not there.
#include "platform/Picture.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"
#include "support/SpecialFiles.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdint>
#include <sys/resource.h>

using platform::Picture;

namespace {

class PictureSave : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    picture = Picture::load(writePicture(QStringLiteral("source.png"), 33, 17));
  }

  QByteArray contentsOf(const QString& name) const {
    QFile file(pathOf(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QStringList entries(const QString& name = QStringLiteral(".")) const {
    return QDir(pathOf(name)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
  int saveError(const QString& name) const {
    return raisedError([&] { picture.saveAsBitmap(pathOf(name)); });
  }

  Picture picture;
};

TEST_F(PictureSave, WritesABitmapThatLoadsBackTheSame) {
  writeFile(QStringLiteral("saved.pic"), "an older file in the way");
  ASSERT_EQ(saveError(QStringLiteral("saved.pic")), 0);
  EXPECT_TRUE(contentsOf(QStringLiteral("saved.pic")).startsWith("BM"));  // whatever the name says
  const Picture back = Picture::load(pathOf(QStringLiteral("saved.pic")));
  EXPECT_EQ(back.pixelSize(), QSize(33, 17));
  EXPECT_EQ(back.image().convertToFormat(QImage::Format_RGB32), picture.image().convertToFormat(QImage::Format_RGB32));
}

TEST_F(PictureSave, TargetThatCannotBeCreatedRaisesAndLeavesNothing) {
  writeFile(QStringLiteral("plain.txt"), "x");
  EXPECT_NE(saveError(QStringLiteral("no-folder/saved.bmp")), 0);
  EXPECT_NE(saveError(QStringLiteral("plain.txt/saved.bmp")), 0);
  EXPECT_EQ(entries(), QStringList({QStringLiteral("plain.txt"), QStringLiteral("source.png")}));

  EXPECT_EQ(raisedError([&] { Picture().saveAsBitmap(pathOf(QStringLiteral("empty.bmp"))); }),
            platform::errors::InvalidPicture);
  EXPECT_FALSE(QFileInfo::exists(pathOf(QStringLiteral("empty.bmp"))));
}

TEST_F(PictureSave, ReadOnlyFolderRaisesAndStaysEmpty) {
  const QString locked = makeFolder(QStringLiteral("locked"));
  ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  PermissionBitsApply ordinaryUser;
  if (!ordinaryUser.active()) GTEST_SKIP() << "cannot give up root's override of permission bits";
  EXPECT_NE(saveError(QStringLiteral("locked/saved.bmp")), 0);
  EXPECT_TRUE(entries(QStringLiteral("locked")).isEmpty());
}

TEST_F(PictureSave, WriteThatFailsHalfwayKeepsTheOldFile) {
  writeFile(QStringLiteral("saved.bmp"), "the old contents");
  picture = Picture::fromImage(QImage(200, 200, QImage::Format_RGB32));  // about 160 KB as a bitmap
  // Files may grow to 4 KB only, as on a disk that fills up during the write.
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int error = saveError(QStringLiteral("saved.bmp"));
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_NE(error, 0);
  EXPECT_EQ(contentsOf(QStringLiteral("saved.bmp")), "the old contents");
  EXPECT_EQ(entries(), QStringList({QStringLiteral("saved.bmp"), QStringLiteral("source.png")}));
}

TEST_F(PictureSave, OpaquePicturesTake24BitsAndTransparentOnes32WithTheirAlpha) {
  QImage opaque(5, 3, QImage::Format_ARGB32);  // an alpha channel, yet every pixel opaque
  opaque.fill(QColor(10, 20, 30));
  QImage translucent = opaque;
  translucent.setPixel(4, 0, qRgba(200, 100, 50, 128));
  translucent.setPixel(0, 2, qRgba(9, 8, 7, 0));
  const struct {
    const char* label;
    Picture picture;
    std::uint32_t headerSize, bits, compression;
  } cases[] = {
      {"photo", Picture::load(testData(QStringLiteral("pillow_hopper.jpg"))), 40, 24, 0},
      {"palette bitmap, odd width", Picture::load(testData(QStringLiteral("bmpsuite_g_pal8.bmp"))), 40, 24, 0},
      {"opaque with alpha channel", Picture::fromImage(opaque), 40, 24, 0},
      {"translucent pixels", Picture::fromImage(translucent), 108, 32, 3},
      {"cursor", Picture::load(testData(QStringLiteral("pillow_deerstalker.cur"))), 108, 32, 3},
      {"transparent GIF", Picture::load(testData(QStringLiteral("pillow_transparent.gif"))), 108, 32, 3},
  };
  const auto little = [](const QByteArray& bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    picture = c.picture;
    ASSERT_EQ(saveError(QStringLiteral("saved.bmp")), 0);
    const QByteArray bytes = contentsOf(QStringLiteral("saved.bmp"));
    ASSERT_GT(bytes.size(), 54);
    EXPECT_EQ(little(bytes, 2, 4), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(little(bytes, 10, 4), 14 + c.headerSize);
    EXPECT_EQ(little(bytes, 14, 4), c.headerSize);
    EXPECT_EQ(little(bytes, 28, 2), c.bits);
    EXPECT_EQ(little(bytes, 30, 4), c.compression);
    const Picture back = Picture::load(pathOf(QStringLiteral("saved.bmp")));
    EXPECT_EQ(back.image().convertToFormat(QImage::Format_ARGB32),
              c.picture.image().convertToFormat(QImage::Format_ARGB32));
  }
}

}  // namespace
