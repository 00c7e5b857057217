#include "platform/forms/DirListBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/FolderEntries.h"
#include "platform/desktop/LatestRequest.h"
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
  const auto entries = readFolder(folder, work);
  for (const FolderEntry& entry : *entries)
    if (entry.kind == EntryKind::Folder && entry.name[0] != '.')
      names.append(platform::fileNameText(QByteArray::fromStdString(entry.name)));
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

struct DirListBox::Listing {
  QString folder;
  QStringList subfolders;
};

DirListBox::DirListBox(QWidget* parent)
    : Control(new Widget(this, parent)), listing_(std::make_unique<LatestRequest>(LatestRequest::Pointer::Busy)) {
  tree_ = static_cast<QTreeWidget*>(widget());
  path_ = QDir::cleanPath(QDir::currentPath());
  Volumes::rememberFolder(path_);
  // Where it is shows at once; the subfolders come when the folder is read.
  show({});
  refresh();
}

DirListBox::~DirListBox() = default;

void DirListBox::setPath(const QString& path, Outcome outcome) {
  const QString absolute = path.isEmpty() ? QString() : Volumes::absolutePath(path_, path);
  go([absolute] { return absolute; }, true, std::move(outcome));
}

void DirListBox::changeToDrive(const QString& drive, Outcome outcome) {
  go(
      [drive] {
        Volumes::checkReady(drive);
        return Volumes::currentFolder(drive);
      },
      true, std::move(outcome));
}

void DirListBox::refresh() {
  go([folder = path_] { return folder; }, false, {});
}

void DirListBox::go(std::function<QString()> choose, bool mustBeFolder, Outcome outcome) {
  listing_->run(
      [choose = std::move(choose), mustBeFolder](const BackgroundWork& work) {
        const QString folder = choose();
        if (folder.isEmpty() || (mustBeFolder && !isFolder(folder))) raise(errors::PathNotFound);
        return Listing{folder, subfoldersOf(folder, &work)};
      },
      [this, mustBeFolder, outcome = std::move(outcome)](Background<Listing>& read) {
        std::optional<Listing> listing;
        if (const auto error = runCatchingErrors([&] { listing.emplace(read.take()); })) {
          if (mustBeFolder) refresh();
          if (outcome) outcome(error);
          return;
        }
        arrive(*listing, outcome);
      });
}

void DirListBox::arrive(const Listing& listing, const Outcome& outcome) {
  const bool changed = listing.folder != path_;
  path_ = listing.folder;
  Volumes::rememberFolder(path_);
  show(listing.subfolders);
  if (changed) raiseEvent(Change);
  if (outcome) outcome(std::nullopt);
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
    auto* item = parent ? new QTreeWidgetItem(parent, {displayedName(name)})
                         : new QTreeWidgetItem(tree_, {displayedName(name)});
    item->setData(0, FolderRole, folder);
    item->setIcon(0, openFolder);
    parent = item;
  }
  for (const QString& name : subfolders) {
    auto* item = new QTreeWidgetItem(parent, {displayedName(name)});
    item->setData(0, FolderRole, childPath(path_, name));
    item->setIcon(0, closedFolder);
  }
  tree_->expandAll();
  tree_->setCurrentItem(parent);
}

// A folder that vanished since it was listed is no longer listed.
void DirListBox::activate(const QString& folder) { setPath(folder); }

}  // namespace platform
