// Saving a picture as a Windows bitmap: the file is whole or not there.
#include "platform/Picture.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"
#include "support/SpecialFiles.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
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

}  // namespace
