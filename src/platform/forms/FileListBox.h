#pragma once

#include "platform/forms/Control.h"

#include <QRegularExpression>

#include <vector>

class QListWidget;

namespace platform {

// The file list: the regular files of a folder (and links to them) whose
// names match the pattern, sorted without regard to case. Names beginning
// with "." are hidden files, listed only while the hidden switch is on.
// One row at a time is current; the list index is -1 when none is.
class FileListBox : public Control {
 public:
  explicit FileListBox(QWidget* parent);

  QString path() const { return path_; }
  // Lists another folder; raises the path not found error for a folder that
  // does not exist, and keeps the old one.
  void setPath(const QString& path);
  QString pattern() const { return pattern_; }
  // Several patterns joined by ";", matched without regard to case; "*.*"
  // and an empty pattern match every name.
  void setPattern(const QString& pattern);
  bool hidden() const { return hidden_; }
  void setHidden(bool admitHiddenFiles);

  int listCount() const;
  QString list(int index) const;
  int listIndex() const;
  // Raises the invalid property value error outside -1 to listCount() - 1;
  // a change of row raises Click.
  void setListIndex(int index);
  bool selected(int index) const;
  // Lists the folder again.
  void refresh();

  QListWidget* listWidget() const { return list_; }

  Event Click;
  Event DblClick;
  MouseEvent MouseDown;

 private:
  class Widget;
  bool matches(const QString& name) const;

  QListWidget* list_;
  QString path_;
  QString pattern_ = QStringLiteral("*.*");
  std::vector<QRegularExpression> patterns_;
  bool hidden_ = false;
};

// The file names of a folder that a file list shows, sorted.
QStringList listFiles(const QString& folder, const std::vector<QRegularExpression>& patterns, bool admitHidden);
std::vector<QRegularExpression> compilePatterns(const QString& pattern);

}  // namespace platform
