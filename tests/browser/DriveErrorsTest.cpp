// Choosing a volume that cannot be read: the messages, Retry and Cancel.

#include "browser/BrowserDriver.h"
#include "platform/Screen.h"
#include "platform/Seams.h"
#include "startup/MODULE_Public.h"

#include <cerrno>
#include <functional>

namespace {

// The message box fake, with something done to the world while a box is up.
class MessageBoxMeanwhile final : public platform::MessageBoxSeam {
 public:
  explicit MessageBoxMeanwhile(std::shared_ptr<fakes::MessageBox> inner) : inner_(std::move(inner)) {}
  int show(const QString& prompt, int style, const QString& title) override {
    if (meanwhile) meanwhile();
    return inner_->show(prompt, style, title);
  }
  std::function<void()> meanwhile;

 private:
  std::shared_ptr<fakes::MessageBox> inner_;
};

class DriveErrors : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    usb = makeFolder("usb");
    writeFile("usb/on-usb.jpg", "x");
    writeFile("here.jpg", "x");
    seams.volumes->mounts = QStringList{"/", usb};
    box = std::make_shared<MessageBoxMeanwhile>(seams.messageBox);
    platform::Seams replaced = platform::seams();
    replaced.messageBox = box;
    platform::installSeams(replaced);
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
  std::shared_ptr<MessageBoxMeanwhile> box;
};

struct FailingVolume {
  int err;
  bool notReady;
};

void PrintTo(const FailingVolume& v, std::ostream* out) { *out << "errno " << v.err; }

class DriveErrorsByErrno : public DriveErrors, public ::testing::WithParamInterface<FailingVolume> {};

TEST_P(DriveErrorsByErrno, ShowsTheMessageAndGoesBackToTheDriveShown) {
  seams.volumes->failures[usb] = GetParam().err;
  seams.messageBox->answers = {platform::msgbox::Cancel, platform::msgbox::Cancel};
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, "here.jpg");

  chooseDrive(browser, usb);
  ASSERT_EQ(seams.messageBox->calls.size(), 1u);
  const fakes::MessageBoxCall& call = seams.messageBox->calls.front();
  if (GetParam().notReady) {
    EXPECT_EQ(call.prompt, notReady());
    EXPECT_EQ(call.style, 53);
  } else {
    EXPECT_EQ(call.prompt, QStringLiteral("Error changing drive."));
    EXPECT_EQ(call.style, 48);
  }
  EXPECT_EQ(call.title, QStringLiteral("Drive Error"));
  expectStillHere(browser);
  EXPECT_EQ(browser.File1.listIndex(), 0);

  // The drive list is ready for the same choice again.
  chooseDrive(browser, usb);
  EXPECT_EQ(seams.messageBox->calls.size(), 2u);
  expectStillHere(browser);
}

INSTANTIATE_TEST_SUITE_P(Errno, DriveErrorsByErrno,
                         ::testing::Values(FailingVolume{EIO, true}, FailingVolume{ENOMEDIUM, true},
                                           FailingVolume{EACCES, false}, FailingVolume{ENOENT, false}));

TEST_F(DriveErrors, RetryAsksAgainWhileTheDriveStillFails) {
  seams.volumes->failures[usb] = ENOMEDIUM;
  seams.messageBox->answers = {platform::msgbox::Retry, platform::msgbox::Retry, platform::msgbox::Cancel};
  FORM_Tavlo& browser = openBrowser();
  chooseDrive(browser, usb);
  ASSERT_EQ(seams.messageBox->calls.size(), 3u);
  for (const fakes::MessageBoxCall& call : seams.messageBox->calls) EXPECT_EQ(call.prompt, notReady());
  expectStillHere(browser);
}

TEST_F(DriveErrors, RetryAfterTheDiskIsInMovesToTheDrive) {
  seams.volumes->failures[usb] = ENOMEDIUM;
  seams.messageBox->answers = {platform::msgbox::Retry};
  box->meanwhile = [this] { seams.volumes->failures.clear(); };
  FORM_Tavlo& browser = openBrowser();
  chooseDrive(browser, usb);

  ASSERT_EQ(seams.messageBox->calls.size(), 1u);
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
  EXPECT_EQ(browser.Dir1.path(), usb);
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
