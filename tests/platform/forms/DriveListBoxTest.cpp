#include "support/BlankForm.h"

#include "platform/forms/DriveListBox.h"

#include <QComboBox>

namespace {

class DriveList : public OnBlankForm {
 protected:
  void SetUp() override {
    OnBlankForm::SetUp();
    makeFolder(QStringLiteral("vol/inner/deep"));
    makeFolder(QStringLiteral("volume"));
    vol = pathOf(QStringLiteral("vol"));
    inner = pathOf(QStringLiteral("vol/inner"));
    seams.volumes->mounts = {QStringLiteral("/"), vol, inner};
  }

  QString vol, inner;
};

TEST_F(DriveList, ListsTheVolumesAndShowsTheOneOfTheCurrentFolder) {
  QDir::setCurrent(pathOf(QStringLiteral("vol/inner/deep")));
  platform::DriveListBox drives(form);
  ASSERT_EQ(drives.listCount(), 3);
  EXPECT_EQ((QStringList{drives.list(0), drives.list(1), drives.list(2)}), seams.volumes->mounts);
  EXPECT_EQ(drives.drive(), inner);
}

TEST_F(DriveList, SettingTheDriveChoosesTheVolumeThatHoldsThePath) {
  platform::DriveListBox drives(form);
  EXPECT_EQ(drives.drive(), QStringLiteral("/"));
  int changes = 0;
  drives.Change = [&] { ++changes; };

  struct Case {
    QString path, drive;
    int changes;
  };
  const Case cases[] = {
      {QStringLiteral("/usr"), QStringLiteral("/"), 0},
      {pathOf(QStringLiteral("vol/inner/deep")), inner, 1},
      {inner + QStringLiteral("/"), inner, 1},
      {pathOf(QStringLiteral("vol/not/there")), vol, 2},
      {pathOf(QStringLiteral("vol/inner/../x")), vol, 2},
      {vol, vol, 2},
      {pathOf(QStringLiteral("volume")), QStringLiteral("/"), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    drives.setDrive(c.path);
    EXPECT_EQ(drives.drive(), c.drive);
    EXPECT_EQ(changes, c.changes);
  }

  EXPECT_EQ(raisedError([&] { drives.setDrive(QStringLiteral("relative/path")); }), 68);
  seams.volumes->mounts = {vol};
  EXPECT_EQ(raisedError([&] { drives.setDrive(QStringLiteral("/usr")); }), 68);
  EXPECT_EQ(drives.drive(), QStringLiteral("/"));
  EXPECT_EQ(changes, 3);
}

TEST(DriveTextForMessage, UpperCasesDriveLettersOnly) {
  const std::pair<QString, QString> cases[] = {
      {"a:", "A:"}, {"C:", "C:"}, {"/media/usb", "/media/usb"}, {"/", "/"}, {"ab:", "ab:"}, {"a:/x", "a:/x"}};
  for (const auto& [drive, shown] : cases) EXPECT_EQ(platform::driveTextForMessage(drive), shown) << drive.toStdString();
}

}  // namespace
