#pragma once

#include "platform/desktop/RuntimeError.h"
#include "platform/forms/Control.h"

#include <functional>
#include <memory>
#include <optional>

class QTreeWidget;

namespace platform {

class LatestRequest;

// The folder list: the current folder's ancestors from the root, then its
// subfolders, sorted without regard to case. Folders whose names begin with
// "." are hidden ones and are not listed. A double-click or Enter on an entry
// makes it the path.
//
// A change of folder is checked and read off the window's thread, under the
// hourglass, and shows once it has been read; the list meanwhile stays as it
// is. A newer change supersedes one still in progress, which then comes to
// nothing and tells nothing.
class DirListBox : public Control {
 public:
  // How a change of folder ended: no error once the folder shows, else why
  // it does not.
  using Outcome = std::function<void(const std::optional<RuntimeError>& error)>;

  explicit DirListBox(QWidget* parent);
  ~DirListBox() override;

  // The folder shown, absolute, without a trailing "/" except at the root.
  QString path() const { return path_; }
  // Asks for another folder, taken from the one shown when relative. Once
  // it has been read it is the path, the list shows it, Change is raised
  // when it is another folder, and then the outcome is told. A path that is
  // no folder (path not found) keeps the folder shown, listed again.
  void setPath(const QString& path, Outcome outcome = {});
  // The same for a volume's current folder (see Volumes::currentFolder),
  // once the volume has been found readable; else the volume's error.
  void changeToDrive(const QString& drive, Outcome outcome = {});
  // Lists the folder again.
  void refresh();

  QTreeWidget* tree() const { return tree_; }

  Event Change;

 private:
  class Widget;
  struct Listing;
  void activate(const QString& folder);
  // Reads the folder that choose() gives, off the window's thread.
  void go(std::function<QString()> choose, bool mustBeFolder, Outcome outcome);
  void arrive(const Listing& listing, const Outcome& outcome);
  void show(const QStringList& subfolders);

  QTreeWidget* tree_;
  QString path_;
  std::unique_ptr<LatestRequest> listing_;
};

}  // namespace platform
