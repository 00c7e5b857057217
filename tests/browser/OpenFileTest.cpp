// Opening the current file in its program: every route, and the real start.

#include "browser/BrowserDriver.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "startup/MODULE_Public.h"
#include "support/TestDesktop.h"

#include <QFile>
#include <QUrl>

#include <functional>

namespace {

class OpenFile : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    viewer = testDesktop().viewer;
    writePicture(QStringLiteral("photo.jpg"), 40, 30);
  }

  // A left double-click on the file list's row that shows the name.
  static void doubleClickRow(FORM_Tavlo& browser, const QString& name) {
    clickRow(browser, name);
    QTest::mouseDClick(browser.File1.listWidget()->viewport(), Qt::LeftButton, {}, rowRect(browser, name).center());
  }

  QString viewer;
};

TEST_F(OpenFile, EveryRouteHandsThePictureToItsProgram) {
  // A type the desktop has no program for: nothing starts, nothing is said.
  writePicture(QStringLiteral("scan.bmp"), 40, 30);
  using Route = std::function<void(FORM_Tavlo&, const QString&)>;
  const std::pair<const char*, Route> routes[] = {
      {"double-click on the row", [](FORM_Tavlo& b, const QString& name) { doubleClickRow(b, name); }},
      {"the Open button",
       [](FORM_Tavlo& b, const QString& name) {
         clickRow(b, name);
         QTest::mouseClick(b.BUTTON_Open.widget(), Qt::LeftButton);
       }},
      {"double-click on the preview",
       [](FORM_Tavlo& b, const QString& name) {
         clickRow(b, name);
         QTest::mouseDClick(b.IMAGE_Preview.widget(), Qt::LeftButton, {}, QPoint(3, 3));
       }},
  };
  const struct {
    const char* name;
    bool opens;
  } cases[] = {{"photo.jpg", true}, {"scan.bmp", false}};
  FORM_Tavlo& browser = openBrowser();
  for (const auto& [how, route] : routes) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << " by " << how);
      const QString name = QString::fromLatin1(c.name);
      seams.programStart->starts.clear();
      route(browser, name);
      if (c.opens) {
        ASSERT_EQ(seams.programStart->starts.size(), 1u);
        EXPECT_EQ(seams.programStart->starts[0].program, viewer);
        EXPECT_EQ(seams.programStart->starts[0].parameters, pathOf(name));
        EXPECT_EQ(seams.programStart->starts[0].showMode, 1);
      } else {
        EXPECT_TRUE(seams.programStart->starts.empty());
      }
      EXPECT_TRUE(seams.messageBox->calls.empty());
    }
  }
}

// The folder itself has a program here, so opening "no row" would show.
TEST_F(OpenFile, WithNoCurrentRowNoFileCommandDoesAnything) {
  FORM_Tavlo& browser = openBrowser();
  ASSERT_EQ(browser.File1.listCount(), 1);
  ASSERT_FALSE(browser.File1.selected(0));
  seams.inputBox->answers = {withSeparator(folder.path()) + "x.jpg"};
  browser.OpenSelectedFile();
  browser.BUTTON_Rename.press();
  browser.BUTTON_Delete.press();
  EXPECT_TRUE(seams.programStart->starts.empty());
  EXPECT_TRUE(seams.inputBox->calls.empty());
  EXPECT_TRUE(seams.messageBox->calls.empty());
  EXPECT_TRUE(QFile::exists(pathOf(QStringLiteral("photo.jpg"))));
}

// The real start through each kind of desktop entry, for names a shell would
// take apart: the program gets the file whole, as its one argument (a path,
// or a file URI for %U), and the file itself is never run, though it has the
// run bit and its JPEG comment holds commands for a shell.
TEST_F(OpenFile, EveryKindOfDesktopEntryGetsTheFileWholeAndNeverRunsIt) {
  const struct {
    const char *extension, *entry;
    QByteArrayList before, after;  // the arguments around the file
  } entries[] = {{"jpg", "viewer", {}, {}},
                 {"tif", "env", {}, {}},
                 {"webp", "shell", {}, {}},
                 {"tga", "uris", {"--flag"}, {}},
                 {"ppm", "flatpak", {"run", "--branch=1", "--command=tavlo-test-viewer", "org.x.Y", "@@"}, {"@@"}}};
  const QString names[] = {"$(touch pwned)", "`touch pwned`", "a;touch pwned", "it's \"quoted\"",
                           "with  blanks ",  "-leading",      "new\nline",     "plain"};
  const QString pwned = pathOf(QStringLiteral("pwned"));
  const QByteArray commands = "\ntouch " + QFile::encodeName(pwned) + "\n";
  QByteArray picture = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  picture.insert(2, QByteArray("\xFF\xFE\0", 3) + static_cast<char>(commands.size() + 2) + commands);
  MODULE_Public::FilterIndex = 6;  // every file
  FORM_Tavlo& browser = openBrowser();
  platform::seams().programStart = platform::qtSeams().programStart;
  EXPECT_NO_THROW(MODULE_Win32Api::ShellOpen(pathOf("none.desktop"), pathOf("photo.jpg"))) << "a failed start is not told";
  QTemporaryDir logs;
  for (const auto& e : entries) {
    for (const QString& name : names) {
      const QString file = name + '.' + e.extension;
      SCOPED_TRACE(file.toStdString());
      const QString path = writeFile(file, picture);
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      const QString entry = MODULE_Win32Api::FindAssociatedProgram(path);
      EXPECT_TRUE(entry.endsWith(QStringLiteral("-%1.desktop").arg(QLatin1String(e.entry)))) << entry.toStdString();
      const QString received = logs.filePath(file);
      qputenv("TAVLO_TEST_RECEIVED", QFile::encodeName(received));
      browser.File1.refresh();
      clickRow(browser, file);
      QTest::mouseClick(browser.BUTTON_Open.widget(), Qt::LeftButton);
      ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(received); }, 20000)) << "the program did not run";
      const QByteArrayList arguments = contentsOf(received).split('\0');
      const qsizetype at = e.before.size();
      ASSERT_EQ(arguments.size(), at + 1 + e.after.size() + 1) << "one argument for the file, and the last NUL";
      EXPECT_EQ(arguments.mid(0, at), e.before);
      EXPECT_EQ(arguments.mid(at + 1, e.after.size()), e.after);
      const QUrl uri = QUrl::fromEncoded(arguments[at]);
      EXPECT_EQ(uri.isLocalFile() ? uri.toLocalFile() : QFile::decodeName(arguments[at]), path);
    }
  }
  EXPECT_FALSE(QFile::exists(pwned));
}

}  // namespace
