#pragma once

#include "platform/forms/Control.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QListView;
class QStringListModel;

namespace platform {

class BackgroundWork;
class LatestRequest;

// The patterns a file list matches names with, several joined by ";", each
// without regard to case: "*" any run of characters, "?" any one; "*.*" and
// no pattern at all match every name.
class FilePatterns {
 public:
  explicit FilePatterns(const QString& patterns);
  bool matches(const QString& name) const;
  // The same for a name of ASCII characters only, as the system gives it.
  bool matchesAscii(const std::string& name) const;

 private:
  bool everything_ = false;
  std::vector<QString> endings_;  // "*.jpg" and the like, taken as the name's end
  std::vector<std::string> asciiEndings_;  // the same in lower case, for ASCII names
  bool asciiEndingsExact_ = true;
  std::vector<QRegularExpression> wildcards_;
};

// The file names of a folder that a file list shows: regular files and links
// to them, without the hidden ones (a "." in front) unless admitted,
// matching the patterns, sorted without regard to case. Read straight from
// the folder; stops early, with what it has, once the work is cancelled.
QStringList listFiles(const QString& folder, const FilePatterns& patterns, bool admitHidden,
                      const BackgroundWork* work = nullptr);

// The file list: the files of a folder that match the pattern, as
// listFiles gives them. Each change of folder, pattern or hidden files, and
// each refresh, empties the list at once and reads the folder off the
// window's thread, under the hourglass; the rows come when it has been read
// (a newer listing supersedes one still being read). One row at a time is
// current; the list index is -1 when none is.
class FileListBox : public Control {
 public:
  explicit FileListBox(QWidget* parent);
  ~FileListBox() override;

  QString path() const { return path_; }
  // Lists another folder, taken from the one shown when relative. A folder
  // that cannot be read lists nothing; an empty path raises path not found.
  void setPath(const QString& path);
  QString pattern() const { return pattern_; }
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

  // The widget that shows the rows.
  QListView* listWidget() const { return view_; }

  Event Click;
  Event DblClick;
  MouseEvent MouseDown;

 private:
  class Widget;
  void show(QStringList names);
  void currentRowChanged();
  void highlightCurrentRow();

  QListView* view_;
  QStringListModel* rows_;
  QStringList names_;
  QString path_;
  QString pattern_ = QStringLiteral("*.*");
  FilePatterns patterns_{pattern_};
  bool hidden_ = false;
  bool quiet_ = false;  // a change of row made by the list itself raises nothing
  std::unique_ptr<LatestRequest> listing_;
};

}  // namespace platform
