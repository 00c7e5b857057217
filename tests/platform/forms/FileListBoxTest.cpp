#include "support/BlankForm.h"

#include "platform/forms/FileListBox.h"

#include <QFile>
#include <QListView>

#include <sys/stat.h>

#include <optional>
#include <utility>

namespace {

class FileList : public OnBlankForm {
 protected:
  void SetUp() override {
    OnBlankForm::SetUp();
    for (const char* name : {"a.jpg", "B.txt", "c.JPG", "Photo.JPG", "noext", ".hidden.jpg"})
      writeFile(QString::fromLatin1(name), "x");
    makeFolder(QStringLiteral("folder.jpg"));
    makeFolder(QStringLiteral("sub"));
    writeFile(QStringLiteral("sub/inside.bmp"), "x");
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("a.jpg")), pathOf(QStringLiteral("Link.jpg"))));
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("missing.jpg")), pathOf(QStringLiteral("dead.jpg"))));
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("folder.jpg")), pathOf(QStringLiteral("folderlink.jpg"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pathOf(QStringLiteral("pipe.jpg"))).constData(), 0600), 0);
    // Made after the folder is filled, as a form's controls are made before it shows.
    files.emplace(form);
    files->move(0, 0, 3000, 3000);
    files->Click = [this] { ++clicks; };
    settle();
  }

  void TearDown() override {
    files.reset();
    OnBlankForm::TearDown();
  }

  QStringList shown() const {
    QStringList names;
    for (int i = 0; i < files->listCount(); ++i) names.append(files->list(i));
    return names;
  }

  std::optional<platform::FileListBox> files;
  int clicks = 0;
};

const QStringList allFiles{"a.jpg", "B.txt", "c.JPG", "Link.jpg", "noext", "Photo.JPG"};

// Files and links to files, never folders, dead links, FIFOs or hidden
// files, sorted without regard to case; no pattern is every file. (Several
// patterns, and hidden files shown: the browser's filters, Navigation.)
TEST_F(FileList, ListsFilesMatchingPatternsWithoutRegardToCase) {
  EXPECT_EQ(files->path(), folder.path());
  const std::pair<const char*, QStringList> cases[] = {
      {"*.*", allFiles}, {"?.jpg", {"a.jpg", "c.JPG"}}, {"N*", {"noext"}},
      {"*.gif", {}},     {"*", allFiles},                 {"", allFiles},
  };
  for (const auto& [pattern, names] : cases) {
    SCOPED_TRACE(pattern);
    files->setPattern(QString::fromLatin1(pattern));
    settle();
    EXPECT_EQ(shown(), names);
  }
}

// Taking the focus chooses no row; the row changes only to a row that
// exists, raising Click on a change; a folder that cannot be read lists
// nothing.
TEST_F(FileList, KeepsItsFolderAndRowAgainstWhatDoesNotExist) {
  showForm();
  files->setFocus();
  ASSERT_TRUE(files->listWidget()->hasFocus());
  EXPECT_EQ(files->listIndex(), -1);
  files->setListIndex(1);
  files->setListIndex(1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(raisedError([&] { files->setPath(QString()); }), 76);
  for (const int wrong : {-2, 6})
    EXPECT_EQ(raisedError([&] { files->setListIndex(wrong); }), 380);
  EXPECT_EQ(files->path(), folder.path());
  EXPECT_EQ(shown(), allFiles);
  EXPECT_EQ(files->listIndex(), 1);
  for (int i = 0; i < files->listCount(); ++i) EXPECT_EQ(files->selected(i), i == 1) << i;
  EXPECT_EQ(clicks, 1);

  files->setPath(QStringLiteral("sub"));
  settle();
  EXPECT_EQ(files->path(), pathOf(QStringLiteral("sub")));
  EXPECT_EQ(shown(), QStringList{"inside.bmp"});
  files->setPath(QStringLiteral("../a.jpg"));
  settle();
  EXPECT_EQ(files->listCount(), 0);
  files->setPath(QStringLiteral("/"));
  files->setPath(QStringLiteral(".."));
  EXPECT_EQ(files->path(), QStringLiteral("/"));
}

}  // namespace
