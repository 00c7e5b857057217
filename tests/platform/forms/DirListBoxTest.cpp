#include "support/BlankForm.h"

#include "platform/forms/DirListBox.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <tuple>

namespace {

using DirList = OnBlankForm;

// The ancestors from the root, then the subfolders sorted without regard to
// case and without dot folders, once read. Setting the path raises Change
// only when it is another folder; a folder that is not there is told as
// path not found and keeps the one shown.
TEST_F(DirList, ShowsTheAncestorsThenTheSubfoldersAndChangesOnlyToAnotherFolder) {
  for (const char* name : {"beta", "Alpha", "gamma", ".cache"}) makeFolder(QString::fromLatin1(name));
  writeFile(QStringLiteral("file.txt"), "x");
  platform::DirListBox dirs(form);
  int changes = 0;
  dirs.Change = [&] { ++changes; };
  settle();
  QStringList entries;
  for (QTreeWidgetItemIterator it(dirs.tree()); *it; ++it) entries.append((*it)->text(0));
  const QStringList ancestors = QStringList{"/"} + folder.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
  EXPECT_EQ(entries, ancestors + QStringList({"Alpha", "beta", "gamma"}));
  ASSERT_NE(dirs.tree()->currentItem(), nullptr);
  EXPECT_EQ(dirs.tree()->currentItem()->text(0), folder.dirName());

  // The path set, the folder then shown and the changes so far.
  const std::tuple<QString, QString, int> cases[] = {
      {QStringLiteral("Alpha"), pathOf(QStringLiteral("Alpha")), 1},
      {QStringLiteral("."), pathOf(QStringLiteral("Alpha")), 1},
      {pathOf(QStringLiteral("Alpha/")), pathOf(QStringLiteral("Alpha")), 1},
      {QStringLiteral("../beta"), pathOf(QStringLiteral("beta")), 2},
      {QStringLiteral("//"), QStringLiteral("/"), 3},
      {QStringLiteral(".."), QStringLiteral("/"), 3},
      {folder.path() + QStringLiteral("/"), folder.path(), 4},
  };
  std::vector<int> outcomes;
  const auto note = [&](const std::optional<platform::RuntimeError>& error) {
    outcomes.push_back(error ? error->number() : 0);
  };
  for (const auto& [path, expected, changesSoFar] : cases) {
    SCOPED_TRACE(path.toStdString());
    dirs.setPath(path, note);
    settle();
    EXPECT_EQ(dirs.path(), expected);
    EXPECT_EQ(changes, changesSoFar);
  }
  for (const QString& missing : {QStringLiteral("gone"), QStringLiteral("file.txt"), QString()}) dirs.setPath(missing, note);
  settle();
  // Each change supersedes the one before, which then tells nothing.
  EXPECT_EQ(outcomes, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 76}));
  EXPECT_EQ(dirs.path(), folder.path());
  EXPECT_EQ(dirs.tree()->currentItem()->text(0), folder.dirName());
  EXPECT_EQ(changes, 4);
}

}  // namespace
