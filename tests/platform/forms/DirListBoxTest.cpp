#include "support/BlankForm.h"

#include "platform/forms/DirListBox.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cerrno>
#include <optional>

namespace {

class DirList : public OnBlankForm {
 protected:
  void SetUp() override {
    OnBlankForm::SetUp();
    for (const char* name : {"beta", "Alpha", "gamma", ".cache", "usb/pics"}) makeFolder(QString::fromLatin1(name));
    writeFile(QStringLiteral("file.txt"), "x");
    usb = pathOf(QStringLiteral("usb"));
    seams.volumes->mounts = {QStringLiteral("/"), usb};
  }

  void TearDown() override {
    dirs.reset();
    OnBlankForm::TearDown();
  }

  platform::DirListBox& make() {
    dirs.emplace(form);
    dirs->move(0, 0, 3000, 4500);
    dirs->Change = [this] { ++changes; };
    return *dirs;
  }

  // The entries from the top, as the list shows them.
  QStringList entries() const {
    QStringList names;
    for (QTreeWidgetItemIterator it(dirs->tree()); *it; ++it) names.append((*it)->text(0));
    return names;
  }

  QTreeWidgetItem* entry(const QString& name) const {
    const auto found = dirs->tree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
  }

  QString usb;
  std::optional<platform::DirListBox> dirs;
  int changes = 0;
};

TEST_F(DirList, ShowsTheAncestorsThenTheSubfoldersSortedWithoutRegardToCase) {
  make();
  EXPECT_EQ(dirs->path(), folder.path());
  const QStringList ancestors = QStringList{"/"} + folder.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
  EXPECT_EQ(entries(), ancestors + QStringList({"Alpha", "beta", "gamma", "usb"}));
  ASSERT_NE(dirs->tree()->currentItem(), nullptr);
  EXPECT_EQ(dirs->tree()->currentItem()->text(0), folder.dirName());
  ASSERT_NE(entry(QStringLiteral("Alpha")), nullptr);
  EXPECT_EQ(entry(QStringLiteral("Alpha"))->parent(), dirs->tree()->currentItem());

  dirs->setPath(QStringLiteral("/"));
  EXPECT_EQ(dirs->path(), QStringLiteral("/"));
  EXPECT_EQ(entries().front(), QStringLiteral("/"));
  EXPECT_EQ(dirs->tree()->topLevelItemCount(), 1);
  EXPECT_EQ(dirs->tree()->currentItem(), dirs->tree()->topLevelItem(0));
}

TEST_F(DirList, SettingThePathRaisesChangeOnlyWhenItIsAnotherFolder) {
  make();
  struct Case {
    QString path, expected;
    int changes;
  };
  const Case cases[] = {
      {QStringLiteral("Alpha"), pathOf(QStringLiteral("Alpha")), 1},
      {QStringLiteral("."), pathOf(QStringLiteral("Alpha")), 1},
      {pathOf(QStringLiteral("Alpha/")), pathOf(QStringLiteral("Alpha")), 1},
      {QStringLiteral("../beta"), pathOf(QStringLiteral("beta")), 2},
      {QStringLiteral("/"), QStringLiteral("/"), 3},
      {QStringLiteral("//"), QStringLiteral("/"), 3},
      {QStringLiteral(".."), QStringLiteral("/"), 3},
      {folder.path() + QStringLiteral("/"), folder.path(), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    dirs->setPath(c.path);
    EXPECT_EQ(dirs->path(), c.expected);
    EXPECT_EQ(changes, c.changes);
  }
  for (const QString& missing : {QStringLiteral("gone"), QStringLiteral("file.txt"), QString()}) {
    EXPECT_EQ(raisedError([&] { dirs->setPath(missing); }), 76) << missing.toStdString();
    EXPECT_EQ(dirs->path(), folder.path());
  }
  EXPECT_EQ(changes, 4);
}

// A double-click or Enter on an entry: Navigation, through the browser.
// Going back to the folder last shown on a drive: DriveErrors, through the browser.
TEST_F(DirList, AVolumeThatCannotBeReadRaisesItsError) {
  make();
  struct Case {
    int err, number;
  };
  for (const Case c : {Case{EIO, 68}, Case{ENOMEDIUM, 68}, Case{EACCES, 70}, Case{ENOENT, 76}}) {
    SCOPED_TRACE(c.err);
    seams.volumes->failures[usb] = c.err;
    EXPECT_EQ(raisedError([&] { dirs->changeToDrive(usb); }), c.number);
    EXPECT_EQ(dirs->path(), folder.path());
  }
  EXPECT_EQ(changes, 0);
}

}  // namespace
