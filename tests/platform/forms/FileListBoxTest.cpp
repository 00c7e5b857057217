#include "support/BlankForm.h"

#include "platform/forms/FileListBox.h"

#include <QFile>
#include <QListView>

#include <sys/stat.h>

#include <optional>

namespace {

struct MouseDown {
  std::int16_t button, shift;
  float x, y;
};

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
    files->DblClick = [this] { ++dblClicks; };
    files->MouseDown = [this](std::int16_t button, std::int16_t shift, float x, float y) {
      mouseDowns.push_back({button, shift, x, y});
    };
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

  QPoint rowCentre(int row) const {
    QListView* list = files->listWidget();
    return list->visualRect(list->model()->index(row, 0)).center();
  }

  std::optional<platform::FileListBox> files;
  int clicks = 0, dblClicks = 0;
  std::vector<MouseDown> mouseDowns;
};

const QStringList allFiles{"a.jpg", "B.txt", "c.JPG", "Link.jpg", "noext", "Photo.JPG"};

// Files and links to files, never folders, dead links or FIFOs, sorted
// without regard to case.
TEST_F(FileList, ListsFilesMatchingPatternsWithoutRegardToCase) {
  EXPECT_EQ(files->path(), folder.path());
  EXPECT_EQ(shown(), allFiles);
  EXPECT_EQ(files->listIndex(), -1);
  struct Case {
    const char* pattern;
    QStringList names;
  };
  const Case cases[] = {
      {"*.jpg", {"a.jpg", "c.JPG", "Link.jpg", "Photo.JPG"}},
      {"*.TXT;*.jpg", {"a.jpg", "B.txt", "c.JPG", "Link.jpg", "Photo.JPG"}},
      {"?.jpg", {"a.jpg", "c.JPG"}},
      {"N*", {"noext"}},
      {"*.gif", {}},
      {"*.*", allFiles},
      {"*", allFiles},
      {"", allFiles},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    files->setPattern(QString::fromLatin1(c.pattern));
    EXPECT_EQ(shown(), c.names);
  }

  files->setPattern(QStringLiteral("*.jpg"));
  files->setHidden(true);
  EXPECT_EQ(shown(), (QStringList{".hidden.jpg", "a.jpg", "c.JPG", "Link.jpg", "Photo.JPG"}));
  files->setHidden(false);
  EXPECT_EQ(shown(), (QStringList{"a.jpg", "c.JPG", "Link.jpg", "Photo.JPG"}));
}

TEST_F(FileList, AMissingFolderRaisesPathNotFoundAndKeepsTheList) {
  files->setListIndex(1);
  EXPECT_EQ(raisedError([&] { files->setPath(pathOf(QStringLiteral("gone"))); }), 76);
  EXPECT_EQ(raisedError([&] { files->setPath(pathOf(QStringLiteral("a.jpg"))); }), 76);
  EXPECT_EQ(files->path(), folder.path());
  EXPECT_EQ(shown(), allFiles);
  EXPECT_EQ(files->listIndex(), 1);

  files->setPath(QStringLiteral("sub"));
  EXPECT_EQ(files->path(), pathOf(QStringLiteral("sub")));
  EXPECT_EQ(shown(), QStringList{"inside.bmp"});
  for (const auto& [path, shownPath] : {std::pair<QString, QString>{"..", folder.path()}, {"/", "/"}, {"..", "/"}}) {
    files->setPath(path);
    EXPECT_EQ(files->path(), shownPath) << path.toStdString();
  }
}

TEST_F(FileList, EveryListingLeavesNoRowCurrent) {
  const std::pair<const char*, std::function<void()>> listings[] = {
      {"refresh", [&] { files->refresh(); }},
      {"pattern", [&] { files->setPattern(QStringLiteral("*.jpg")); }},
      {"hidden", [&] { files->setHidden(true); }},
      {"path", [&] { files->setPath(QStringLiteral("sub")); }},
  };
  for (const auto& [what, list] : listings) {
    SCOPED_TRACE(what);
    files->setListIndex(0);
    list();
    EXPECT_EQ(files->listIndex(), -1);
    EXPECT_FALSE(files->selected(0));
  }
}

TEST_F(FileList, SettingTheListIndexClicksOnlyOnAChange) {
  files->setListIndex(2);
  EXPECT_EQ(clicks, 1);
  files->setListIndex(2);
  EXPECT_EQ(clicks, 1);
  for (int i = 0; i < files->listCount(); ++i) EXPECT_EQ(files->selected(i), i == 2) << i;

  for (const int wrong : {-2, 6, 100}) {
    EXPECT_EQ(raisedError([&] { files->setListIndex(wrong); }), 380) << wrong;
    EXPECT_EQ(files->listIndex(), 2);
  }
  EXPECT_EQ(clicks, 1);

  files->setListIndex(-1);
  EXPECT_EQ(clicks, 2);
  for (int i = 0; i < files->listCount(); ++i) EXPECT_FALSE(files->selected(i)) << i;
}

TEST_F(FileList, TakesTheUsersClicks) {
  showForm();
  files->setFocus();
  EXPECT_TRUE(files->listWidget()->hasFocus());
  EXPECT_EQ(files->listIndex(), -1) << "taking the focus chooses no file";
  EXPECT_EQ(clicks, 0);
  QWidget* rows = files->listWidget()->viewport();

  QTest::mouseClick(rows, Qt::LeftButton, {}, rowCentre(1));
  EXPECT_EQ(files->listIndex(), 1);
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(mouseDowns.size(), 1u);
  EXPECT_EQ(mouseDowns[0].button, 1);

  // The right button opens the menu on the file already chosen.
  const QPoint third = rowCentre(3);
  QTest::mousePress(rows, Qt::RightButton, Qt::ShiftModifier, third);
  QTest::mouseRelease(rows, Qt::RightButton, Qt::ShiftModifier, third);
  EXPECT_EQ(files->listIndex(), 1);
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(mouseDowns.size(), 2u);
  EXPECT_EQ(mouseDowns[1].button, 2);
  EXPECT_EQ(mouseDowns[1].shift, 1);
  EXPECT_FLOAT_EQ(mouseDowns[1].x, static_cast<float>(third.x() * 15));
  EXPECT_FLOAT_EQ(mouseDowns[1].y, static_cast<float>(third.y() * 15));
  for (int i = 0; i < files->listCount(); ++i) EXPECT_EQ(files->selected(i), i == 1) << i;

  QTest::mouseDClick(rows, Qt::LeftButton, {}, rowCentre(1));
  QTest::mouseRelease(rows, Qt::LeftButton, {}, rowCentre(1));
  EXPECT_EQ(dblClicks, 1);
  EXPECT_EQ(files->listIndex(), 1);
}

}  // namespace
