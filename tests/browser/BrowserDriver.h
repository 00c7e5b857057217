#pragma once

// Drives the browser window as a user does: clicks on the file list's rows,
// keys, double-clicks on folder entries, choices from the drop-down lists.

#include "browser/FORM_Tavlo.h"
#include "platform/forms/Form.h"
#include "support/FreshProgram.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <ostream>

// Failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Runs the action once the window is shown, from inside the modal show that
// is about to start.
template <class Window, class Action>
void onceShown(Window window, Action action) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, window, action] {
    QWidget* shown = window();
    if (!shown || !shown->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    action();
  });
  poll->start(0);
}

// The viewer once it is there (without making one).
inline QWidget* shownViewer() {
  return platform::DefaultInstance<FORM_MiniTavlo>::exists() ? &platform::DefaultInstance<FORM_MiniTavlo>::get()
                                                            : nullptr;
}

class BrowserTest : public FreshProgram {
 protected:
  static FORM_Tavlo& openBrowser() {
    FORM_Tavlo& browser = platform::DefaultInstance<FORM_Tavlo>::get();
    browser.showForm();
    return browser;
  }

  // A file's length as the size label shows it, thousands grouped with commas.
  static QString bytesText(const QString& path) {
    QString digits = QString::number(QFileInfo(path).size());
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
    return digits + QStringLiteral(" bytes");
  }

  static QStringList rows(const FORM_Tavlo& browser) {
    QStringList names;
    for (int row = 0; row < browser.File1.listCount(); ++row) names.append(browser.File1.list(row));
    return names;
  }

  // Where the file list shows the one row with the name, scrolled into view;
  // nothing when there is none.
  static QRect rowRect(const FORM_Tavlo& browser, const QString& name) {
    const QStringList names = rows(browser);
    if (names.count(name) != 1) return QRect();
    QListView* list = browser.File1.listWidget();
    const QModelIndex row = list->model()->index(static_cast<int>(names.indexOf(name)), 0);
    list->scrollTo(row);
    return list->visualRect(row);
  }

  // A left click on the file list's row that shows the name.
  static void clickRow(FORM_Tavlo& browser, const QString& name) {
    QListView* list = browser.File1.listWidget();
    const QRect row = rowRect(browser, name);
    ASSERT_TRUE(row.isValid()) << "no row " << name.toStdString();
    ASSERT_TRUE(list->viewport()->rect().contains(row.center())) << name.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(browser.File1.list(browser.File1.listIndex()), name);
  }

  static void pressKeyInFileList(FORM_Tavlo& browser, Qt::Key key) {
    QTest::keyClick(browser.File1.listWidget(), key);
  }

  static QTreeWidgetItem* folderEntry(FORM_Tavlo& browser, const QString& folder) {
    QTreeWidget* tree = browser.Dir1.tree();
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
      if ((*it)->data(0, Qt::UserRole).toString() == folder) return *it;
    ADD_FAILURE() << "no folder entry " << folder.toStdString();
    return nullptr;
  }

  // A double-click on the folder list's entry for the folder.
  static void doubleClickFolder(FORM_Tavlo& browser, const QString& folder) {
    QTreeWidgetItem* entry = folderEntry(browser, folder);
    if (!entry) return;
    QTreeWidget* tree = browser.Dir1.tree();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(entry).center());
  }

  // Enter on the folder list's entry for the folder.
  static void enterFolder(FORM_Tavlo& browser, const QString& folder) {
    QTreeWidgetItem* entry = folderEntry(browser, folder);
    if (!entry) return;
    QTreeWidget* tree = browser.Dir1.tree();
    tree->setCurrentItem(entry);
    QTest::keyClick(tree, Qt::Key_Return);
  }

  // Opens the drop-down list and clicks the item.
  static void chooseItem(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QRect item = view->visualRect(view->model()->index(index, combo->modelColumn()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
  }

  static void chooseFilter(FORM_Tavlo& browser, int index) { chooseItem(browser.COMBO_Filter.comboBox(), index); }

  static void chooseDrive(FORM_Tavlo& browser, const QString& mountPath) {
    auto* combo = static_cast<QComboBox*>(browser.Drive1.widget());
    const int index = combo->findData(mountPath);
    ASSERT_GE(index, 0) << "no drive " << mountPath.toStdString();
    chooseItem(combo, index);
  }

  // The empty pane: no picture, the control on the box, no notice, no texts.
  static void expectEmptyPreview(const FORM_Tavlo& browser) {
    expectEmptyImageOnTheBox(browser);
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QString());
    EXPECT_EQ(browser.LABEL_FileSize.caption(), QString());
  }

  static void expectEmptyImageOnTheBox(const FORM_Tavlo& browser) {
    const platform::ImageControl& image = browser.IMAGE_Preview;
    EXPECT_EQ(image.picture().handle(), 0u);
    EXPECT_FLOAT_EQ(image.left(), 6240);
    EXPECT_FLOAT_EQ(image.top(), 1080);
    EXPECT_FLOAT_EQ(image.width(), 1635);
    EXPECT_FLOAT_EQ(image.height(), 1635);
    EXPECT_TRUE(image.visible());
  }
};
