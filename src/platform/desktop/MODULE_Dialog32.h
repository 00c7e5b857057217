#pragma once

#include <QString>

#include <cstdint>

class QWidget;

// The open and save dialogs, as the windows ask for them.
namespace MODULE_Dialog32 {

// The longest suggested name the dialog takes.
inline constexpr int MaxFileName = 250;

// Runs the open dialog when mode is 1, else the save dialog, owned by the
// window. The filter holds pairs of display text and pattern, all parts
// separated by NUL characters ("Bitmap (*.BMP)" NUL "*.bmp"); several
// patterns in one are separated by ";". The default extension is added to a
// typed name without one. Returns the chosen full path, or empty text when
// the dialog is cancelled. A suggested name longer than MaxFileName raises
// the invalid procedure call error without showing anything.
QString ShowFileDialog(QWidget* owner, std::int16_t mode, const QString& title, const QString& fileName,
                       const QString& filter, const QString& initialDir, const QString& defaultExt);

}  // namespace MODULE_Dialog32
