#pragma once

#include "platform/forms/Control.h"

#include <cstdint>

class QTreeWidget;

namespace platform {

// The folder list: the current folder's ancestors from the root, then its
// subfolders, sorted without regard to case. Folders whose names begin with
// "." are hidden ones and are not listed. A double-click or Enter on an entry
// makes it the path. The folder is read off the window's thread, which
// repaints and takes input meanwhile; a newer listing supersedes one still
// being read (the path it was for raises no Change).
class DirListBox : public Control {
 public:
  explicit DirListBox(QWidget* parent);

  // The folder shown, absolute, without a trailing "/" except at the root.
  QString path() const { return path_; }
  // Shows the folder and raises Change when it is another one. Raises the
  // path not found error, and keeps the path, when it is not a folder.
  // A relative path is taken from the folder shown.
  void setPath(const QString& path);
  // Moves to a volume's current folder (see Volumes::currentFolder),
  // raising the volume's error when it cannot be read.
  void changeToDrive(const QString& drive);
  // Lists the folder again.
  void refresh();

  QTreeWidget* tree() const { return tree_; }

  Event Change;

 private:
  class Widget;
  void activate(const QString& folder);
  // False when a newer listing superseded this one.
  bool list();
  void show(const QStringList& subfolders);

  QTreeWidget* tree_;
  QString path_;
  std::uint64_t listings_ = 0;
};

}  // namespace platform
