#include "browser/BrowserDriver.h"
#include "support/TestDesktop.h"

#include <QDeadlineTimer>
#include <QFile>

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
    QListWidget* list = browser.File1.listWidget();
    const QRect row = list->visualItemRect(list->findItems(name, Qt::MatchExactly).front());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  }

  QString viewer;
};

TEST_F(OpenFile, ADoubleClickedPictureGoesToItsProgramAsOneUnquotedParameter) {
  writePicture(QStringLiteral("my holiday photo.jpg"), 40, 30);
  // A type the desktop has no program for: nothing starts, nothing is said.
  writePicture(QStringLiteral("scan.bmp"), 40, 30);
  const struct {
    const char* name;
    bool opens;
  } cases[] = {{"photo.jpg", true}, {"scan.bmp", false}, {"my holiday photo.jpg", true}};
  FORM_Tavlo& browser = openBrowser();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString name = QString::fromLatin1(c.name);
    seams.programStart->starts.clear();
    doubleClickRow(browser, name);
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

// The folder itself has a program here, so opening "no row" would show.
TEST_F(OpenFile, WithNoSelectedRowNothingStarts) {
  FORM_Tavlo& browser = openBrowser();
  ASSERT_EQ(browser.File1.listCount(), 1);
  ASSERT_FALSE(browser.File1.selected(0));
  browser.OpenSelectedFile();
  EXPECT_TRUE(seams.programStart->starts.empty());
  EXPECT_TRUE(seams.messageBox->calls.empty());
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
