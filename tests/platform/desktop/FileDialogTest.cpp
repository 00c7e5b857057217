// The open and save dialogs: what the windows ask for, and Qt's dialog doing
// it; Qt's input box.
#include "platform/desktop/MODULE_Dialog32.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>

using MODULE_Dialog32::ShowFileDialog;
using Request = platform::FileDialogRequest;

namespace {

const QString BitmapFilter = QStringLiteral("Bitmap (*.BMP)") + QChar(u'\0') + QStringLiteral("*.bmp");

using FileDialog = FreshProgram;

// How each value reaches the request, and the answer back: SaveAsBitmap, through the browser.
TEST_F(FileDialog, ModeOneOpensAnyOtherSaves) {
  const struct {
    std::int16_t mode;
    Request::Mode asked;
    bool confirmOverwrite, fileMustExist;
  } cases[] = {
      {1, Request::Mode::Open, false, true},
      {0, Request::Mode::Save, true, false},
      {2, Request::Mode::Save, true, false},
      {-1, Request::Mode::Save, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    ShowFileDialog(nullptr, c.mode, QString(), QString(), QString(), QString(), QString());
    const Request& asked = seams.fileDialog->requests.back();
    EXPECT_EQ(asked.mode, c.asked);
    EXPECT_EQ(asked.confirmOverwrite, c.confirmOverwrite);
    EXPECT_EQ(asked.fileMustExist, c.fileMustExist);
    EXPECT_TRUE(asked.pathMustExist);
  }
}

TEST_F(FileDialog, TurnsTheFilterPairsIntoListEntries) {
  const QChar nul(u'\0');
  const struct {
    QString filter;
    QStringList entries;
  } cases[] = {
      {QString(), {}},
      {QStringLiteral("Pictures") + nul + QStringLiteral("*.jpg;*.gif") + nul + QStringLiteral("All files") + nul +
           QStringLiteral("*.*") + nul + nul,
       {QStringLiteral("Pictures (*.jpg *.gif)"), QStringLiteral("All files (*.*)")}},
      // A display text without its pattern is no entry.
      {QStringLiteral("Icons") + nul + QStringLiteral("*.ico") + nul + QStringLiteral("Lone"),
       {QStringLiteral("Icons (*.ico)")}},
  };
  for (const auto& c : cases) {
    ShowFileDialog(nullptr, 0, QString(), QString(), c.filter, QString(), QString());
    EXPECT_EQ(seams.fileDialog->requests.back().filters, c.entries) << c.filter.toStdString();
  }
}

TEST_F(FileDialog, ASuggestedNameOver250CharactersRaisesWithoutADialog) {
  const QString longest(250, QLatin1Char('n'));
  ShowFileDialog(nullptr, 0, QString(), longest, QString(), QString(), QString());
  ASSERT_EQ(seams.fileDialog->requests.size(), 1u);
  EXPECT_EQ(seams.fileDialog->requests.front().suggestedName, longest);

  EXPECT_EQ(raisedError([&] { ShowFileDialog(nullptr, 0, QString(), longest + 'n', QString(), QString(), QString()); }),
            platform::errors::InvalidProcedureCall);
  EXPECT_EQ(seams.fileDialog->requests.size(), 1u);
}

// Qt's own dialog, driven as a user would: each action runs on the modal
// window it is meant for as soon as that window is up.
class RealFileDialog : public FreshProgram {
 protected:
  struct Action {
    const char* windowClass;
    std::function<void(QWidget*)> act;
  };

  void SetUp() override {
    FreshProgram::SetUp();
    platform::seams().fileDialog = platform::qtSeams().fileDialog;
  }

  QString run(std::deque<Action> actions) {
    script_ = std::make_shared<std::deque<Action>>(std::move(actions));
    poll(script_);
    const QString chosen = ShowFileDialog(&owner, 0, QStringLiteral("Save As BMP"), QStringLiteral("photo.bmp"),
                                          BitmapFilter, withSeparator(folder.path()), QStringLiteral("bmp"));
    EXPECT_TRUE(script_->empty()) << script_->size() << " actions left";
    script_->clear();
    return chosen;
  }

  // Types a name and presses the dialog's Save button.
  static void save(QWidget* window, const QString& name) {
    window->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    for (QAbstractButton* button : window->findChild<QDialogButtonBox*>()->buttons())
      if (window->findChild<QDialogButtonBox*>()->buttonRole(button) == QDialogButtonBox::AcceptRole) button->click();
  }

  static std::function<void(QWidget*)> answer(QMessageBox::StandardButton button, QString* text) {
    return [=](QWidget* window) {
      auto* box = static_cast<QMessageBox*>(window);
      *text = box->text();
      box->button(button)->click();
    };
  }

  QWidget owner;

 private:
  // The next poll is queued before acting, so that it runs inside any
  // message box the action opens.
  static void poll(std::shared_ptr<std::deque<Action>> script) {
    QTimer::singleShot(0, [script] {
      if (script->empty()) return;
      QWidget* modal = QApplication::activeModalWidget();
      std::function<void(QWidget*)> act;
      if (modal && modal->isVisible() && modal->inherits(script->front().windowClass)) {
        act = std::move(script->front().act);
        script->pop_front();
      }
      poll(script);
      if (act) act(modal);
    });
  }

  std::shared_ptr<std::deque<Action>> script_;
};

TEST_F(RealFileDialog, OpensAsAskedAndAddsTheExtensionToATypedName) {
  QString title, folderShown, nameShown;
  QStringList types;
  const QWidget* parent = nullptr;
  const QString chosen = run({{"QFileDialog", [&](QWidget* window) {
                                 auto* dialog = static_cast<QFileDialog*>(window);
                                 title = dialog->windowTitle();
                                 parent = dialog->parentWidget();
                                 folderShown = dialog->directory().path();
                                 nameShown = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                                 auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                                 for (int i = 0; i < combo->count(); ++i) types.append(combo->itemText(i));
                                 save(window, QStringLiteral("copy"));
                               }}});
  EXPECT_EQ(chosen, pathOf(QStringLiteral("copy.bmp")));
  EXPECT_EQ(title, QStringLiteral("Save As BMP"));
  EXPECT_EQ(parent, &owner);
  EXPECT_EQ(folderShown, folder.path());
  EXPECT_EQ(nameShown, QStringLiteral("photo.bmp"));
  EXPECT_EQ(types, QStringList{QStringLiteral("Bitmap (*.BMP)")});
}

TEST_F(RealFileDialog, RefusesAMissingFolderAndAsksBeforeReplacing) {
  writeFile(QStringLiteral("old.bmp"), "kept");
  QString missingText, replaceText;
  const QString chosen = run({
      {"QFileDialog", [](QWidget* w) { save(w, QStringLiteral("missing/copy")); }},
      {"QMessageBox", answer(QMessageBox::Ok, &missingText)},
      // The extension is added before the question, so "old" is old.bmp.
      {"QFileDialog", [](QWidget* w) { save(w, QStringLiteral("old")); }},
      {"QMessageBox", answer(QMessageBox::No, &replaceText)},
      {"QFileDialog", [](QWidget* w) { save(w, QStringLiteral("old")); }},
      {"QMessageBox", answer(QMessageBox::Yes, &replaceText)},
  });
  EXPECT_EQ(chosen, pathOf(QStringLiteral("old.bmp")));
  EXPECT_TRUE(missingText.contains(pathOf(QStringLiteral("missing")))) << missingText.toStdString();
  EXPECT_TRUE(replaceText.contains(QStringLiteral("old.bmp already exists"))) << replaceText.toStdString();
}

using InputBox = FreshProgram;

TEST_F(InputBox, ShowsTheDefaultTextWithTheCursorAfterItSoTypingAddsToIt) {
  QString selected = QStringLiteral("not looked at");
  int cursor = -1;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    auto* edit = box ? box->findChild<QLineEdit*>() : nullptr;
    ASSERT_NE(edit, nullptr);
    selected = edit->selectedText();
    cursor = edit->cursorPosition();
    QTest::keyClicks(edit, QStringLiteral("photo 2.jpg"));
    QTest::keyClick(edit, Qt::Key_Return);
  });
  const QString typed = platform::qtSeams().inputBox->ask(QStringLiteral("Enter the new name for this file..."),
                                                         QStringLiteral("Rename"), QStringLiteral("/pictures/"));
  EXPECT_EQ(selected, QString());
  EXPECT_EQ(cursor, 10);
  EXPECT_EQ(typed, QStringLiteral("/pictures/photo 2.jpg"));
}

}  // namespace
