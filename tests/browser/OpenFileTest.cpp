// Opening the current file in its program: every route, and the real start.

#include "browser/BrowserDriver.h"
#include "support/TestDesktop.h"

#include <QDeadlineTimer>
#include <QFile>

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

TEST_F(OpenFile, EveryRouteGivesThePictureToItsProgramAsOneUnquotedParameter) {
  writePicture(QStringLiteral("my holiday photo.jpg"), 40, 30);
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
  } cases[] = {{"photo.jpg", true}, {"scan.bmp", false}, {"my holiday photo.jpg", true}};
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

// The real start: no shell sees the name, the program gets it whole.
TEST_F(OpenFile, TheProgramReceivesTheNameAsItsOneArgumentUninterpreted) {
  const QString name = QStringLiteral("a b;$(touch pwned).jpg");
  writePicture(name, 40, 30);
  const QString received = pathOf(QStringLiteral("received"));
  qputenv("TAVLO_TEST_RECEIVED", QFile::encodeName(received));
  platform::seams().programStart = platform::qtSeams().programStart;

  doubleClickRow(openBrowser(), name);
  const QDeadlineTimer deadline(20000);
  while (!QFile::exists(received) && !deadline.hasExpired()) QTest::qWait(20);
  QFile file(received);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the program did not run";
  EXPECT_EQ(QString::fromUtf8(file.readAll()), QStringLiteral("1\n") + pathOf(name) + QLatin1Char('\n'));
  EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("pwned"))));
}

}  // namespace
