// FileExists and FileLen over every kind of path they meet.
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>

using MODULE_Win32Api::FileExists;
using platform::FileLen;
namespace errors = platform::errors;

namespace {

using FileAccess = FreshProgram;

// What is no regular file, or may not be read, is refused by the same open
// that loading a picture uses; PictureLoad covers those.
TEST_F(FileAccess, FileExistsOnlyForWhatOpensForReadingNow) {
  const QString text = writeFile(QStringLiteral("notes.txt"), "some text\n");
  const QString blanks = writeFile(QStringLiteral("two words.txt"), "x");
  writeFile(QStringLiteral("two"), "x");
  writeFile(QStringLiteral("words.txt"), "x");
  ASSERT_TRUE(QFile::link(text, pathOf(QStringLiteral("link.txt"))));
  ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("gone.txt")), pathOf(QStringLiteral("dangling.txt"))));
  const struct {
    QString path;
    std::int16_t exists;
  } cases[] = {
      {text, -1},
      {writeFile(QStringLiteral("empty.txt"), QByteArray()), -1},
      {blanks, -1},
      {pathOf(QStringLiteral("link.txt")), -1},
      {QStringLiteral("notes.txt"), -1},  // relative to the current folder
      {pathOf(QStringLiteral("missing.txt")), 0},
      {QLatin1Char('"') + text + QLatin1Char('"'), 0},
      {pathOf(QStringLiteral("two")) + QLatin1Char(' ') + pathOf(QStringLiteral("words.txt")), 0},
      {QString(), 0},
      {pathOf(QStringLiteral("dangling.txt")), 0},
      {text + QChar(u'\0') + QStringLiteral("more"), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FileExists(c.path), c.exists) << c.path.toStdString();
}

TEST_F(FileAccess, FileLenGivesTheWhole64BitLengthOfTheFileOrRaises) {
  QFile sparse(pathOf(QStringLiteral("sparse.bin")));
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  ASSERT_TRUE(sparse.resize(std::int64_t{3} << 30));  // takes no disk space
  sparse.close();
  EXPECT_EQ(FileLen(sparse.fileName()), std::int64_t{3221225472});

  const QString text = writeFile(QStringLiteral("text.txt"), "12345");
  ASSERT_TRUE(QFile::link(text, pathOf(QStringLiteral("link.txt"))));
  EXPECT_EQ(FileLen(pathOf(QStringLiteral("link.txt"))), 5);  // the file's, not the link's
  EXPECT_EQ(FileLen(writeFile(QStringLiteral("empty.txt"), QByteArray())), 0);

  // No file at all raises.
  writeFile(QStringLiteral("plain.txt"), "x");
  ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("gone.txt")), pathOf(QStringLiteral("dangling.txt"))));
  const struct {
    QString path;
    int error;
  } cases[] = {
      {pathOf(QStringLiteral("missing.txt")), errors::FileNotFound},
      {pathOf(QStringLiteral("dangling.txt")), errors::FileNotFound},
      {pathOf(QStringLiteral("plain.txt/inner.txt")), errors::PathNotFound},
      {QString(), errors::BadFileNameOrNumber},
      {pathOf(QString(300, QLatin1Char('n'))), errors::BadFileNameOrNumber},  // name too long
  };
  for (const auto& c : cases) EXPECT_EQ(raisedError([&] { FileLen(c.path); }), c.error) << c.path.toStdString();
}

}  // namespace
