// Choosing a volume that cannot be read: the messages, Retry and Cancel; and
// a volume opening at the folder last shown on it.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "startup/MODULE_Public.h"

#include <cerrno>

namespace {

class DriveErrors : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    usb = makeFolder("usb");
    writeFile("usb/on-usb.jpg", "x");
    writeFile("here.jpg", "x");
    seams.volumes->mounts = QStringList{"/", usb};
  }

  QString notReady() const { return "Drive " + usb + " not ready.  Please insert disk in drive."; }

  // Nothing moved: the drive list back on the folder still shown.
  void expectStillHere(const FORM_Tavlo& browser) const {
    EXPECT_EQ(browser.Drive1.drive(), QStringLiteral("/"));
    EXPECT_EQ(browser.Dir1.path(), folder.path());
    EXPECT_EQ(browser.File1.path(), folder.path());
    EXPECT_EQ(rows(browser), QStringList({"here.jpg"}));
    EXPECT_EQ(MODULE_Public::CurrentPath, folder.path() + "/");
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }

  QString usb;
};

TEST_F(DriveErrors, CancelShowsTheMessageAndGoesBackToTheDriveShown) {
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, "here.jpg");
  const struct {
    int err;
    bool notReady;
  } cases[] = {{EIO, true}, {ENOMEDIUM, true}, {EACCES, false}, {ENOENT, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "errno " << c.err);
    seams.volumes->failures[usb] = c.err;
    seams.messageBox->calls.clear();
    seams.messageBox->answers = {platform::msgbox::Cancel, platform::msgbox::Cancel};
    chooseDrive(browser, usb);
    if (c.notReady)
      expectOneMessage(notReady(), 53, "Drive Error");
    else
      expectOneMessage("Error changing drive.", 48, "Drive Error");
    expectStillHere(browser);
    EXPECT_EQ(browser.File1.listIndex(), 0);

    // The drive list is ready for the same choice again.
    chooseDrive(browser, usb);
    EXPECT_EQ(seams.messageBox->calls.size(), 2u);
    expectStillHere(browser);
  }
}

TEST_F(DriveErrors, RetryAsksAgainUntilTheDiskIsIn) {
  seams.volumes->failures[usb] = ENOMEDIUM;
  seams.messageBox->answers = {platform::msgbox::Retry, platform::msgbox::Retry};
  seams.messageBox->meanwhile = [this] {
    if (seams.messageBox->calls.size() == 2) seams.volumes->failures.clear();
  };
  FORM_Tavlo& browser = openBrowser();
  chooseDrive(browser, usb);

  ASSERT_EQ(seams.messageBox->calls.size(), 2u);
  for (const fakes::MessageBoxCall& call : seams.messageBox->calls) EXPECT_EQ(call.prompt, notReady());
  EXPECT_EQ(browser.Drive1.drive(), usb);
  EXPECT_EQ(browser.Dir1.path(), usb);
  EXPECT_EQ(rows(browser), QStringList({"on-usb.jpg"}));
  EXPECT_EQ(MODULE_Public::CurrentPath, usb + "/");
  EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
}

TEST_F(DriveErrors, ADriveOpensAtTheLastFolderShownOnIt) {
  const QString deeper = makeFolder("usb/deeper");
  writeFile("usb/deeper/deep.jpg", "x");
  FORM_Tavlo& browser = openBrowser();

  chooseDrive(browser, usb);
  EXPECT_EQ(browser.Dir1.path(), usb) << "not shown on that volume yet: its root";
  doubleClickFolder(browser, deeper);
  chooseDrive(browser, "/");
  EXPECT_EQ(browser.Dir1.path(), folder.path());
  chooseDrive(browser, usb);
  EXPECT_EQ(browser.Dir1.path(), deeper);
  EXPECT_EQ(rows(browser), QStringList({"deep.jpg"}));
  EXPECT_EQ(MODULE_Public::CurrentPath, deeper + "/");

  // A last folder that is gone leaves the volume's root.
  chooseDrive(browser, "/");
  ASSERT_TRUE(QDir(deeper).removeRecursively());
  chooseDrive(browser, usb);
  EXPECT_EQ(browser.Dir1.path(), usb);
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

}  // namespace
