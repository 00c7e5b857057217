// FileExists and FileLen over the paths they meet. What is no regular file,
// or may not be read, is refused by the same open that loading a picture
// uses (PictureLoad); the size label shows lengths beyond 32 bits (PreviewPane).
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>

#include <tuple>

namespace {

using FileAccess = FreshProgram;

// Through a link, the file's; a text that is no name raises or is no file.
TEST_F(FileAccess, FileExistsAndFileLenFollowLinksAndRefuseWhatIsNoName) {
  const QString text = writeFile(QStringLiteral("notes.txt"), "12345");
  const QString link = pathOf(QStringLiteral("link.txt"));
  ASSERT_TRUE(QFile::link(text, link));
  EXPECT_EQ(platform::FileLen(link), 5);
  const std::tuple<QString, std::int16_t, int> cases[] = {  // the path, FileExists, FileLen's error
      {link, -1, 0},
      {QStringLiteral("notes.txt"), -1, 0},  // relative to the current folder
      {writeFile(QStringLiteral("empty.txt"), QByteArray()), -1, 0},
      {QLatin1Char('"') + text + QLatin1Char('"'), 0, platform::errors::FileNotFound},  // quotes are part of the name
      {QString(), 0, platform::errors::BadFileNameOrNumber},
      {text + QChar(u'\0') + QStringLiteral("more"), 0, platform::errors::BadFileNameOrNumber},
      {pathOf(QString(300, QLatin1Char('n'))), 0, platform::errors::BadFileNameOrNumber},  // name too long
  };
  for (const auto& [path, exists, lengthError] : cases) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(MODULE_Win32Api::FileExists(path), exists);
    EXPECT_EQ(raisedError([&path = path] { platform::FileLen(path); }), lengthError);
  }
}

}  // namespace
