#pragma once

// Drives the browser window as a user does: clicks on the file list's rows,
// keys, double-clicks on folder entries, choices from the drop-down lists.

#include "browser/FORM_Tavlo.h"
#include "platform/desktop/Screen.h"
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

// Failures print rectangles as their corner and size.
inline void PrintTo(const QRectF& r, std::ostream* out) { *out << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height(); }

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
    settle();
    return browser;
  }

  // The browser listing the files of the filter item anew, the row previewed.
  static FORM_Tavlo& browserOn(const QString& name, int filter = 0) {
    FORM_Tavlo& browser = openBrowser();
    chooseFilter(browser, filter);
    browser.File1.refresh();
    settle();
    clickRow(browser, name);
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
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(browser.File1.list(browser.File1.listIndex()), name);
    settle();
  }

  // A double-click on the folder list's entry for the folder, or the key on it.
  static void openFolder(FORM_Tavlo& browser, const QString& folder, Qt::Key key = Qt::Key_unknown) {
    QTreeWidget* tree = browser.Dir1.tree();
    QTreeWidgetItemIterator entry(tree);
    while (*entry && (*entry)->data(0, Qt::UserRole).toString() != folder) ++entry;
    ASSERT_TRUE(*entry) << "no folder entry " << folder.toStdString();
    if (key == Qt::Key_unknown) {
      QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(*entry).center());
    } else {
      tree->setCurrentItem(*entry);
      QTest::keyClick(tree, key);
    }
    settle();
  }

  // Opens the drop-down list and clicks the item; then, unless told not to,
  // waits for what that starts.
  static void chooseItem(QComboBox* combo, int index, bool settled = true) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QRect item = view->visualRect(view->model()->index(index, combo->modelColumn()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    if (settled) settle();
  }

  static void chooseFilter(FORM_Tavlo& browser, int index) { chooseItem(browser.COMBO_Filter.comboBox(), index); }

  static void chooseDrive(FORM_Tavlo& browser, const QString& mountPath, bool settled = true) {
    auto* combo = static_cast<QComboBox*>(browser.Drive1.widget());
    const int index = combo->findData(mountPath);
    ASSERT_GE(index, 0) << "no drive " << mountPath.toStdString();
    chooseItem(combo, index, settled);
  }

  // The pane with no picture: the image control back on the whole box, the
  // notice or nothing, and the pointer back. Without the notice no row is
  // chosen; the notice keeps the file size.
  static void expectEmptyPreview(const FORM_Tavlo& browser, bool notice = false) {
    EXPECT_TRUE(notice || browser.File1.listIndex() == -1) << "row " << browser.File1.listIndex();
    const platform::ImageControl& image = browser.IMAGE_Preview;
    EXPECT_EQ(image.picture().handle(), 0u);
    EXPECT_EQ(QRectF(image.left(), image.top(), image.width(), image.height()), QRectF(6240, 1080, 1635, 1635));
    EXPECT_TRUE(image.visible());
    EXPECT_EQ(browser.LABEL_NotImage.visible(), notice);
    EXPECT_EQ(browser.LABEL_PixSize.caption(), notice ? QStringLiteral("0 x 0 pixels") : QString());
    EXPECT_TRUE(notice || browser.LABEL_FileSize.caption().isEmpty()) << browser.LABEL_FileSize.caption().toStdString();
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }

  // The message boxes shown so far, each as its prompt, style and title.
  static constexpr auto message = &fakes::MessageBox::text;
  QStringList messagesShown() const { return seams.messageBox->calls; }
};
