#include "support/BlankForm.h"

#include "platform/forms/DriveListBox.h"

#include <tuple>

namespace {

using DriveList = OnBlankForm;

// The volumes, showing the one that holds the current folder; setting the
// drive chooses the volume that holds the path (the longest mount path that
// is a folder above it), raising Change only for another volume.
TEST_F(DriveList, ShowsAndChoosesTheVolumeThatHoldsThePath) {
  makeFolder(QStringLiteral("vol/inner/deep"));
  makeFolder(QStringLiteral("volume"));
  const QString vol = pathOf(QStringLiteral("vol")), inner = pathOf(QStringLiteral("vol/inner"));
  seams.volumes->mounts = {QStringLiteral("/"), vol, inner};
  QDir::setCurrent(pathOf(QStringLiteral("vol/inner/deep")));
  platform::DriveListBox drives(form);
  ASSERT_EQ(drives.listCount(), 3);
  EXPECT_EQ((QStringList{drives.list(0), drives.list(1), drives.list(2)}), seams.volumes->mounts);
  EXPECT_EQ(drives.drive(), inner);
  int changes = 0;
  drives.Change = [&] { ++changes; };

  // The path set, the volume then chosen and the changes so far.
  const std::tuple<QString, QString, int> cases[] = {
      {QStringLiteral("/usr"), QStringLiteral("/"), 1},
      {inner + QStringLiteral("/"), inner, 2},
      {pathOf(QStringLiteral("vol/not/there")), vol, 3},
      {pathOf(QStringLiteral("vol/inner/../x")), vol, 3},
      {pathOf(QStringLiteral("volume")), QStringLiteral("/"), 4},
  };
  for (const auto& [path, drive, changesSoFar] : cases) {
    SCOPED_TRACE(path.toStdString());
    drives.setDrive(path);
    EXPECT_EQ(drives.drive(), drive);
    EXPECT_EQ(changes, changesSoFar);
  }
  EXPECT_EQ(raisedError([&] { drives.setDrive(QStringLiteral("relative/path")); }), 68);
  seams.volumes->mounts = {vol};
  EXPECT_EQ(raisedError([&] { drives.setDrive(QStringLiteral("/usr")); }), 68);
  EXPECT_EQ(drives.drive(), QStringLiteral("/"));
  EXPECT_EQ(changes, 4);
}

}  // namespace
