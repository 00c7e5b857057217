#include "platform/forms/DriveListBox.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Volumes.h"

#include <QComboBox>
#include <QDir>
#include <QFileIconProvider>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace platform {

DriveListBox::DriveListBox(QWidget* parent) : Control(new QComboBox(parent)) {
  combo_ = static_cast<QComboBox*>(widget());
  const QFileIconProvider icons;
  for (const QString& mountPath : Volumes::mountPaths())
    combo_->addItem(icons.icon(QFileIconProvider::Drive), mountPath, mountPath);
  combo_->setCurrentIndex(combo_->findData(Volumes::volumeOf(QDir::currentPath())));
  QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
    const QString chosen = combo_->itemData(index).toString();
    // The list shows the choice already; announce it.
    if (chosen == shown_) return;
    shown_ = chosen;
    asUserAction([&] { raiseEvent(Change); });
  });
  shown_ = drive();
}

QString DriveListBox::drive() const { return combo_->currentData().toString(); }

void DriveListBox::setDrive(const QString& path) {
  const QString volume = Volumes::volumeOf(QDir::cleanPath(path));
  const int index = combo_->findData(volume);
  if (volume.isEmpty() || index < 0) raise(errors::DeviceUnavailable);
  if (volume == shown_) return;
  {
    const QSignalBlocker quiet(combo_);
    combo_->setCurrentIndex(index);
  }
  shown_ = volume;
  raiseEvent(Change);
}

int DriveListBox::listCount() const { return combo_->count(); }

QString DriveListBox::list(int index) const { return combo_->itemData(index).toString(); }

QString driveTextForMessage(const QString& drive) {
  static const QRegularExpression driveLetter(QStringLiteral("^[A-Za-z]:$"));
  return driveLetter.match(drive).hasMatch() ? drive.toUpper() : drive;
}

}  // namespace platform
