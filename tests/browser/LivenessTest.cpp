// The window stays live whatever a volume does: files and folders whose
// calls never come back freeze nothing and starve nothing, keys while the
// viewer loads go to the viewer, and a row chosen while its preview is stuck
// is left behind cleanly. The stuck calls are held by a FUSE volume.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Seams.h"
#include "startup/MODULE_Public.h"
#include "support/HungVolume.h"

#include <QDeadlineTimer>
#include <QGuiApplication>

#include <functional>

using platform::DefaultInstance;
using platform::Screen::mousePointer;

namespace {

using Call = HungVolume::Call;

class Liveness : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    makeFolder("served");
    volume.addFile("pictures/slow.jpg", contentsOf(writePicture("served/slow.jpg", 1200, 900)));
    volume.addFile("pictures/quick.jpg", contentsOf(writePicture("served/quick.jpg", 60, 40)));
    writePicture("local.jpg", 30, 20);
    if (!volume.mount(makeFolder("hung"))) GTEST_SKIP() << volume.whyNot().toStdString();
    hungFolder = pathOf("hung/pictures");
  }

  // While something is stuck the test waits for what it looks for, the
  // window's events running meanwhile; bounded, so that a window frozen in a
  // stuck call fails instead of hanging the test.
  static bool eventually(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

  FORM_Tavlo& browserIn(const QString& start) {
    MODULE_Public::StartPath = start;
    MODULE_Public::FilterIndex = 6;  // every file
    return openBrowser();
  }

  // A click on the row, without waiting for what it starts.
  static void pressRow(FORM_Tavlo& browser, const QString& name) {
    QTest::mouseClick(browser.File1.listWidget()->viewport(), Qt::LeftButton, {}, rowRect(browser, name).center());
  }

  static bool busyPointerShows() {
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
  }

  HungVolume volume;
  QString hungFolder;
};

// A preview stuck in its stat, open or read leaves the window free to go to
// another folder and preview there, the list read anew with no row chosen
// and the pane empty, so that no command acts on a row the user does not see
// chosen; clicks piling stuck reads on one file leave the next file to
// preview, and other folders to be listed and previewed. The stuck ones,
// when they come back, change nothing.
TEST_F(Liveness, AFileWhoseCallsHangLeavesEveryOtherPreviewGoing) {
  FORM_Tavlo& browser = browserIn(hungFolder);
  for (const Call call : {Call::Stat, Call::Open, Call::Read}) {
    SCOPED_TRACE(static_cast<int>(call));
    volume.hold(call, "pictures/slow.jpg");
    pressRow(browser, "slow.jpg");
    ASSERT_TRUE(eventually([&] { return volume.waiting(call) == 1; }));
    EXPECT_EQ(mousePointer(), platform::Screen::Hourglass);
    browser.Dir1.setPath(folder.path());
    settle();
    for (int row = 0; row < browser.File1.listCount(); ++row) EXPECT_FALSE(browser.File1.selected(row)) << row;
    expectEmptyPreview(browser);
    clickRow(browser, "local.jpg");
    EXPECT_EQ(browser.LABEL_PixSize.caption(), "30 x 20 pixels");
    volume.release(call);
    settle();
    EXPECT_EQ(browser.LABEL_PixSize.caption(), "30 x 20 pixels") << "the stuck preview was superseded";
    browser.Dir1.setPath(hungFolder);
    settle();
  }

  volume.hold(Call::Read, "pictures/slow.jpg");
  for (int stuck = 1; stuck <= 6; ++stuck) {
    pressRow(browser, "slow.jpg");
    ASSERT_TRUE(eventually([&] { return volume.waiting(Call::Read) == stuck; }));
    clickRow(browser, "quick.jpg");
    EXPECT_EQ(browser.LABEL_PixSize.caption(), "60 x 40 pixels");
  }
  browser.Dir1.setPath(folder.path());
  settle();
  clickRow(browser, "local.jpg");
  EXPECT_EQ(browser.LABEL_PixSize.caption(), "30 x 20 pixels") << "six stuck reads starve nothing";
}

// A folder whose listing hangs, or a volume whose check hangs, leaves the
// window live under the hourglass, its lists as they were and still in use;
// another folder or volume chosen then shows at once.
TEST_F(Liveness, AFolderOrVolumeThatDoesNotAnswerLeavesTheWindowLive) {
  platform::seams().volumes = platform::qtSeams().volumes;
  FORM_Tavlo& browser = browserIn(folder.path());
  const std::function<void()> ways[] = {
      [&] { browser.Dir1.setPath(hungFolder); },  // as a double-click on it does
      [&] { chooseDrive(browser, pathOf("hung"), false); },
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(&way - ways);
    volume.hold(Call::List);
    way();
    ASSERT_TRUE(eventually([&] { return volume.waiting(Call::List) >= 1; }));
    EXPECT_TRUE(busyPointerShows());
    EXPECT_EQ(browser.Dir1.path(), folder.path());
    pressRow(browser, "local.jpg");
    EXPECT_TRUE(eventually([&] { return browser.LABEL_PixSize.caption() == "30 x 20 pixels"; }));

    chooseDrive(browser, "/", false);
    browser.Dir1.setPath(makeFolder("elsewhere"));
    settle();
    EXPECT_EQ(browser.Dir1.path(), pathOf("elsewhere"));
    EXPECT_FALSE(busyPointerShows());
    volume.release(Call::List);
    browser.Dir1.setPath(folder.path());
    settle();
  }
}

// Full Size on a picture whose read hangs: until the viewer appears, clicks
// on the browser are dropped and keys go to the viewer, so that Esc closes
// the viewer that is loading, not the program.
TEST_F(Liveness, EscWhileTheViewerLoadsCancelsTheLoadNotTheProgram) {
  FORM_Tavlo& browser = browserIn(hungFolder);
  clickRow(browser, "slow.jpg");
  volume.hold(Call::Read, "pictures/slow.jpg");
  bool loadingSeen = false;
  QTimer whileLoading;
  QDeadlineTimer deadline(10000);
  QObject::connect(&whileLoading, &QTimer::timeout, [&] {
    const bool held = shownViewer() && volume.waiting(Call::Read) > 0;
    if (!held && !deadline.hasExpired()) return;
    whileLoading.stop();
    // No held read to be seen: the viewer that would never close is closed,
    // and the checks below fail instead of the test hanging.
    if (!held) {
      if (shownViewer()) DefaultInstance<FORM_MiniTavlo>::get().unload();
      return;
    }
    loadingSeen = DefaultInstance<FORM_MiniTavlo>::get().isLoading() && !shownViewer()->isVisible();
    pressRow(browser, "quick.jpg");
    QTest::keyClick(browser.File1.listWidget(), Qt::Key_Escape);
  });
  whileLoading.start(0);
  QTest::mouseClick(browser.BUTTON_Fullsize.widget(), Qt::LeftButton);

  EXPECT_TRUE(loadingSeen);
  EXPECT_FALSE(DefaultInstance<FORM_MiniTavlo>::exists());
  EXPECT_TRUE(DefaultInstance<FORM_Tavlo>::exists() && browser.isVisible()) << "the program goes on";
  EXPECT_EQ(MODULE_Public::ViewerFromBrowser, 0);
  EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), "slow.jpg") << "the click was dropped";
  volume.release(Call::Read);
}

}  // namespace
