#include "platform/forms/FileListBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Volumes.h"

#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <algorithm>

namespace platform {

namespace {

// "*" any run of characters, "?" any one character; everything else,
// "[" included, stands for itself, as in the file names typed on the desktop.
QRegularExpression wildcard(QString pattern) {
  pattern.replace(QLatin1Char('['), QStringLiteral("[[]"));
  return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                            QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

std::vector<QRegularExpression> compilePatterns(const QString& pattern) {
  std::vector<QRegularExpression> compiled;
  for (QString part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    part = part.trimmed();
    if (part.isEmpty()) continue;
    // "*.*" means every file, with or without an extension.
    if (part == QLatin1String("*.*")) part = QStringLiteral("*");
    compiled.push_back(wildcard(part));
  }
  return compiled;
}

QStringList listFiles(const QString& folder, const std::vector<QRegularExpression>& patterns, bool admitHidden) {
  QStringList names;
  QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  while (entries.hasNext()) {
    entries.next();
    const QString name = entries.fileName();
    if (!admitHidden && name.startsWith(QLatin1Char('.'))) continue;
    const bool wanted = patterns.empty() || std::any_of(patterns.begin(), patterns.end(), [&](const auto& p) {
                          return p.match(name).hasMatch();
                        });
    if (wanted) names.append(name);
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

class FileListBox::Widget final : public QListWidget {
 public:
  Widget(FileListBox* owner, QWidget* parent) : QListWidget(parent), owner_(owner) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    // Only the left button moves the current row.
    if (event->button() == Qt::LeftButton) QListWidget::mousePressEvent(event);
    const float x = static_cast<float>(event->position().x()) * Screen::twipsPerPixelX();
    const float y = static_cast<float>(event->position().y()) * Screen::twipsPerPixelY();
    dispatch([&] {
      raiseEvent(owner_->MouseDown, mouse::buttonOf(event->button()), mouse::shiftOf(event->modifiers()), x, y);
    });
  }

  // Taking the focus does not choose a file: with no row current, the view
  // would make the first one current and so raise Click.
  void focusInEvent(QFocusEvent* event) override {
    if (currentIndex().isValid()) {
      QListWidget::focusInEvent(event);
      return;
    }
    const QSignalBlocker quiet(this);
    QListWidget::focusInEvent(event);
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    QListWidget::mouseDoubleClickEvent(event);
    dispatch([&] { raiseEvent(owner_->DblClick); });
  }

 private:
  template <class Body>
  static void dispatch(Body&& body) {
    asUserAction(std::forward<Body>(body));
  }

  FileListBox* owner_;
};

FileListBox::FileListBox(QWidget* parent) : Control(new Widget(this, parent)) {
  list_ = static_cast<QListWidget*>(widget());
  path_ = QDir::cleanPath(QDir::currentPath());
  patterns_ = compilePatterns(pattern_);
  QObject::connect(list_, &QListWidget::currentRowChanged, list_, [this](int row) {
    // Keep the selection on the current row, as a list of one choice shows it.
    if (row >= 0 && !list_->item(row)->isSelected()) list_->item(row)->setSelected(true);
    asUserAction([&] { raiseEvent(Click); });
  });
  refresh();
}

void FileListBox::setPath(const QString& path) {
  const QString absolute = Volumes::absolutePath(path_, path);
  if (path.isEmpty() || !QFileInfo(absolute).isDir()) raise(errors::PathNotFound);
  if (absolute == path_) return;
  path_ = absolute;
  refresh();
}

void FileListBox::setPattern(const QString& pattern) {
  if (pattern == pattern_) {
    // The same files, listed anew: no row is current, as after any listing.
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(-1);
    list_->clearSelection();
    return;
  }
  pattern_ = pattern;
  patterns_ = compilePatterns(pattern);
  refresh();
}

void FileListBox::setHidden(bool admitHiddenFiles) {
  if (admitHiddenFiles == hidden_) return;
  hidden_ = admitHiddenFiles;
  refresh();
}

int FileListBox::listCount() const { return list_->count(); }

QString FileListBox::list(int index) const {
  const QListWidgetItem* item = list_->item(index);
  return item ? item->text() : QString();
}

int FileListBox::listIndex() const { return list_->currentRow(); }

void FileListBox::setListIndex(int index) {
  if (index < -1 || index >= list_->count()) raise(errors::InvalidPropertyValue);
  if (index == list_->currentRow()) return;
  if (index == -1) {
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(-1);
    list_->clearSelection();
    raiseEvent(Click);
    return;
  }
  list_->setCurrentRow(index);
}

bool FileListBox::selected(int index) const {
  const QListWidgetItem* item = list_->item(index);
  return item && item->isSelected();
}

void FileListBox::refresh() {
  const QSignalBlocker quiet(list_);
  list_->clear();
  list_->addItems(listFiles(path_, patterns_, hidden_));
  list_->setCurrentRow(-1);
}

}  // namespace platform
