#pragma once

#include "platform/forms/Control.h"

class QComboBox;

namespace platform {

// The drive list: the mounted volumes, each shown by its mount path.
class DriveListBox : public Control {
 public:
  explicit DriveListBox(QWidget* parent);

  // Mount path of the chosen volume.
  QString drive() const;
  // Chooses the volume that holds the path (a mount path or any path on a
  // volume) and raises Change when that is another volume. Raises the device
  // unavailable error when no volume holds it.
  void setDrive(const QString& path);
  int listCount() const;
  QString list(int index) const;

  Event Change;

 private:
  QComboBox* combo_;
  QString shown_;  // the volume last announced by Change
};

// The drive text as the not-ready message shows it: a drive letter in upper
// case, a mount path unchanged.
QString driveTextForMessage(const QString& drive);

}  // namespace platform
