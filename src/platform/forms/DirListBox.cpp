#include "platform/forms/DirListBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FolderEntries.h"
#include "platform/forms/DoEvents.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Volumes.h"

#include <QDir>
#include <QFile>
#include <QStyle>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

#include <algorithm>

namespace platform {

namespace {

constexpr int FolderRole = Qt::UserRole;

QStringList subfoldersOf(const QString& folder, const BackgroundWork* work) {
  QStringList names;
  for (const FolderEntry& entry : *readFolder(folder, work))
    if (entry.kind == EntryKind::Folder && entry.name[0] != '.')
      names.append(QFile::decodeName(QByteArray::fromStdString(entry.name)));
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

QString childPath(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

class DirListBox::Widget final : public QTreeWidget {
 public:
  Widget(DirListBox* owner, QWidget* parent) : QTreeWidget(parent), owner_(owner) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Enter belongs to the folder list, not to the window's default button.
    setProperty("tavloTakesEnter", true);
    // Every entry is shown open: no expand or collapse marks.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
      owner_->activate(currentItem()->data(0, FolderRole).toString());
      return;
    }
    QTreeWidget::keyPressEvent(event);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) {
      owner_->activate(item->data(0, FolderRole).toString());
      return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
  }

 private:
  DirListBox* owner_;
};

DirListBox::DirListBox(QWidget* parent) : Control(new Widget(this, parent)) {
  tree_ = static_cast<QTreeWidget*>(widget());
  path_ = QDir::cleanPath(QDir::currentPath());
  Volumes::rememberFolder(path_);
  // The first listing, as the form is made, is read at once.
  show(subfoldersOf(path_, nullptr));
}

void DirListBox::setPath(const QString& path) {
  const QString absolute = Volumes::absolutePath(path_, path);
  if (path.isEmpty() || !QFileInfo(absolute).isDir()) raise(errors::PathNotFound);
  if (absolute == path_) return;
  path_ = absolute;
  Volumes::rememberFolder(path_);
  if (list()) raiseEvent(Change);
}

void DirListBox::changeToDrive(const QString& drive) {
  Volumes::checkReady(drive);
  setPath(Volumes::currentFolder(drive));
}

void DirListBox::refresh() { list(); }

bool DirListBox::list() {
  const std::uint64_t listing = ++listings_;
  const auto reading = startInBackground(
      [folder = path_](const BackgroundWork& work) { return subfoldersOf(folder, &work); });
  DoEventsUntil([&] { return reading->finished() || listings_ != listing; });
  if (listings_ != listing) {
    reading->cancel();  // a newer listing supersedes this one
    return false;
  }
  show(reading->take());
  return true;
}

void DirListBox::show(const QStringList& subfolders) {
  const QIcon openFolder = tree_->style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedFolder = tree_->style()->standardIcon(QStyle::SP_DirClosedIcon);
  tree_->clear();

  // The chain of ancestors, root first, each nested in the one before.
  QStringList chain;
  for (QString folder = path_;; folder = QFileInfo(folder).path()) {
    chain.prepend(folder);
    if (folder == QLatin1String("/") || QFileInfo(folder).path() == folder) break;
  }
  QTreeWidgetItem* parent = nullptr;
  for (const QString& folder : chain) {
    const QString name = folder == QLatin1String("/") ? folder : QFileInfo(folder).fileName();
    auto* item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(tree_, {name});
    item->setData(0, FolderRole, folder);
    item->setIcon(0, openFolder);
    parent = item;
  }
  for (const QString& name : subfolders) {
    auto* item = new QTreeWidgetItem(parent, {name});
    item->setData(0, FolderRole, childPath(path_, name));
    item->setIcon(0, closedFolder);
  }
  tree_->expandAll();
  tree_->setCurrentItem(parent);
}

void DirListBox::activate(const QString& folder) {
  // A folder that vanished since it was listed: show what is there now.
  if (runCatchingErrors([&] { setPath(folder); })) refresh();
}

}  // namespace platform
