#include "platform/forms/FileListBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/FolderEntries.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QMouseEvent>
#include <QStringListModel>

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

bool isWild(QChar c) { return c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['); }

struct Listed {
  std::string key;  // the name as compared without regard to case
  const std::string* name;
};

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string asciiLowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool asciiEndsWith(const std::string& name, const std::string& lowerEnding) {
  if (name.size() < lowerEnding.size()) return false;
  const std::size_t from = name.size() - lowerEnding.size();
  for (std::size_t i = 0; i < lowerEnding.size(); ++i) {
    char c = name[from + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerEnding[i]) return false;
  }
  return true;
}

}  // namespace

FilePatterns::FilePatterns(const QString& patterns) {
  for (QString part : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    part = part.trimmed();
    if (part.isEmpty()) continue;
    // "*.*" means every file, with or without an extension.
    if (part == QLatin1String("*.*") || part == QLatin1String("*")) {
      everything_ = true;
    } else if (part.startsWith(QLatin1Char('*')) && std::none_of(part.begin() + 1, part.end(), isWild)) {
      endings_.push_back(part.mid(1));
      asciiEndings_.push_back(asciiLowerCase(part.mid(1).toStdString()));
    } else {
      wildcards_.push_back(wildcard(part));
    }
  }
  if (endings_.empty() && wildcards_.empty()) everything_ = true;
  // Against a name of ASCII characters an ending of ASCII characters matches
  // byte by byte, ASCII letters in either case.
  asciiEndingsExact_ = std::all_of(endings_.begin(), endings_.end(), [](const QString& ending) {
    return std::all_of(ending.begin(), ending.end(), [](QChar c) { return c.unicode() < 0x80; });
  });
}

bool FilePatterns::matchesAscii(const std::string& name) const {
  if (everything_) return true;
  if (!asciiEndingsExact_ || !wildcards_.empty()) return matches(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  return std::any_of(asciiEndings_.begin(), asciiEndings_.end(),
                     [&](const std::string& ending) { return asciiEndsWith(name, ending); });
}

bool FilePatterns::matches(const QString& name) const {
  if (everything_) return true;
  for (const QString& ending : endings_)
    if (name.endsWith(ending, Qt::CaseInsensitive)) return true;
  return std::any_of(wildcards_.begin(), wildcards_.end(),
                     [&](const QRegularExpression& w) { return w.match(name).hasMatch(); });
}

QStringList listFiles(const QString& folder, const FilePatterns& patterns, bool admitHidden,
                      const BackgroundWork* work) {
  const auto entries = readFolder(folder, work);
  std::vector<Listed> listed;
  for (const FolderEntry& entry : *entries) {
    if (entry.kind != EntryKind::File || (entry.name[0] == '.' && !admitHidden)) continue;
    if (isAscii(entry.name)) {
      if (patterns.matchesAscii(entry.name)) listed.push_back({asciiLowerCase(entry.name), &entry.name});
    } else {
      const QString name = platform::fileNameText(QByteArray::fromStdString(entry.name));
      if (patterns.matches(name)) listed.push_back({name.toCaseFolded().toStdString(), &entry.name});
    }
  }
  // The names compared without regard to case, then as they are.
  std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    const int order = a.key.compare(b.key);
    return order != 0 ? order < 0 : *a.name < *b.name;
  });
  QStringList names;
  names.reserve(static_cast<qsizetype>(listed.size()));
  for (const Listed& file : listed) names.append(platform::fileNameText(QByteArray::fromStdString(*file.name)));
  return names;
}

class FileListBox::Widget final : public QListView {
 public:
  Widget(FileListBox* owner, QWidget* parent) : QListView(parent), owner_(owner) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    // Only the left button moves the current row.
    if (event->button() == Qt::LeftButton) QListView::mousePressEvent(event);
    const float x = static_cast<float>(event->position().x()) * Screen::twipsPerPixelX();
    const float y = static_cast<float>(event->position().y()) * Screen::twipsPerPixelY();
    asUserAction([&] {
      raiseEvent(owner_->MouseDown, mouse::buttonOf(event->button()), mouse::shiftOf(event->modifiers()), x, y);
    });
  }

  // Taking the focus does not choose a file: with no row current, the view
  // would make the first one current and so raise Click.
  void focusInEvent(QFocusEvent* event) override {
    if (currentIndex().isValid()) {
      QListView::focusInEvent(event);
      return;
    }
    owner_->quiet_ = true;
    QListView::focusInEvent(event);
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    owner_->quiet_ = false;
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    QListView::mouseDoubleClickEvent(event);
    asUserAction([&] { raiseEvent(owner_->DblClick); });
  }

 private:
  FileListBox* owner_;
};

FileListBox::FileListBox(QWidget* parent)
    : Control(new Widget(this, parent)), listing_(std::make_unique<LatestRequest>(LatestRequest::Pointer::Busy)) {
  view_ = static_cast<Widget*>(widget());
  rows_ = new QStringListModel(view_);
  view_->setModel(rows_);
  path_ = QDir::cleanPath(QDir::currentPath());
  QObject::connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, view_,
                   [this] { currentRowChanged(); });
  refresh();
}

FileListBox::~FileListBox() = default;

void FileListBox::currentRowChanged() {
  if (quiet_) return;
  highlightCurrentRow();
  asUserAction([&] { raiseEvent(Click); });
}

// Keeps the selection on the current row, as a list of one choice shows it.
void FileListBox::highlightCurrentRow() {
  const QModelIndex current = view_->currentIndex();
  if (current.isValid() && !view_->selectionModel()->isSelected(current))
    view_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
}

void FileListBox::setPath(const QString& path) {
  if (path.isEmpty()) raise(errors::PathNotFound);
  const QString absolute = Volumes::absolutePath(path_, path);
  if (absolute == path_) return;
  path_ = absolute;
  refresh();
}

void FileListBox::setPattern(const QString& pattern) {
  if (pattern == pattern_) {
    // The same files, listed anew: no row is current, as after any listing.
    quiet_ = true;
    view_->selectionModel()->clear();
    quiet_ = false;
    return;
  }
  pattern_ = pattern;
  patterns_ = FilePatterns(pattern);
  refresh();
}

void FileListBox::setHidden(bool admitHiddenFiles) {
  if (admitHiddenFiles == hidden_) return;
  hidden_ = admitHiddenFiles;
  refresh();
}

int FileListBox::listCount() const { return static_cast<int>(names_.size()); }

QString FileListBox::list(int index) const { return names_.value(index); }

int FileListBox::listIndex() const {
  const QModelIndex current = view_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void FileListBox::setListIndex(int index) {
  if (index < -1 || index >= listCount()) raise(errors::InvalidPropertyValue);
  if (index == listIndex()) return;
  if (index == -1) {
    quiet_ = true;
    view_->selectionModel()->clear();
    quiet_ = false;
    raiseEvent(Click);
    return;
  }
  view_->setCurrentIndex(rows_->index(index));
}

bool FileListBox::selected(int index) const {
  return index >= 0 && view_->selectionModel()->isRowSelected(index, QModelIndex());
}

// The rows go at once: they may be of another folder, and a row chosen now
// would name a file there. The folder's files come when it has been read.
void FileListBox::refresh() {
  show({});
  listing_->run(
      [folder = path_, patterns = patterns_, admitHidden = hidden_](const BackgroundWork& work) {
        return listFiles(folder, patterns, admitHidden, &work);
      },
      [this](Background<QStringList>& listed) { show(listed.take()); });
}

void FileListBox::show(QStringList names) {
  quiet_ = true;
  names_ = std::move(names);
  QStringList shown;
  shown.reserve(names_.size());
  for (const QString& name : names_) shown.append(displayedName(name));
  rows_->setStringList(shown);
  view_->selectionModel()->clear();
  quiet_ = false;
}

}  // namespace platform
