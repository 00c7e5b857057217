// Names and paths as the folder gives them, carried as text.
#include "platform/desktop/FileNames.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

// Each name comes back as its own bytes, names that show alike stay apart,
// and each shows as the desktop shows it; a typed name is UTF-8.
TEST(FileNames, EveryNameComesBackAsItsOwnBytesAndShowsAsTheDesktopShowsIt) {
  const std::pair<QByteArray, QString> cases[] = {
      {"plain.jpg", QStringLiteral("plain.jpg")},
      {"Gr\xc3\xbc\xc3\x9f" "e.jpg", QStringLiteral("Grüße.jpg")},
      {"\xf0\x9f\x93\xb7 photo", QStringLiteral("📷 photo")},
      {"bad\xff.jpg", QStringLiteral("bad\uFFFD.jpg")},
      {"bad\xef\xbf\xbd.jpg", QStringLiteral("bad\uFFFD.jpg")},  // the replacement character itself
      {"caf\xe9", QStringLiteral("caf\uFFFD")},                   // Latin-1
      {"overlong\xc0\xaf", QStringLiteral("overlong\uFFFD\uFFFD")},
      {"surrogate\xed\xa0\x80", QStringLiteral("surrogate\uFFFD\uFFFD\uFFFD")},
      {"cut\xe2\x82", QStringLiteral("cut\uFFFD\uFFFD")},
      {"beyond\xf4\x90\x80\x80", QStringLiteral("beyond\uFFFD\uFFFD\uFFFD\uFFFD")},
  };
  QSet<QString> texts;
  for (const auto& [bytes, shown] : cases) {
    const QString text = platform::fileNameText(bytes);
    EXPECT_EQ(platform::nativeFileName(text), bytes) << bytes.toHex().toStdString();
    EXPECT_EQ(platform::displayedName(text), shown) << bytes.toHex().toStdString();
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), qsizetype(std::size(cases))) << "no two names share a text";
  EXPECT_EQ(platform::nativeFileName(QStringLiteral("typed Grüße 📷")), "typed Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x93\xb7");
}

}  // namespace
