// The browser's "Save As BMP..." command: the previewed picture written as a
// Windows bitmap where the user says, or a bitmap file copied unchanged.

#include "browser/FORM_Tavlo.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/MODULE_Dialog32.h"
#include "platform/desktop/SafeWrite.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "platform/forms/Conversions.h"
#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

using namespace platform;

namespace {

// The preview may hold only a reduced copy: the whole picture is decoded off
// the window's thread, which repaints and takes input meanwhile.
void saveWholePicture(Picture picture, const QString& path) {
  waitInBackground([picture](const BackgroundWork& work) { picture.decodeWhole(&work); });
  picture.saveAsBitmap(path);
}

}  // namespace

void FORM_Tavlo::SaveAsBitmap() {
  // A step that fails is skipped; the next one runs.
  SkipFailingSteps step;

  QString name;
  step([&] { name = File1.list(File1.listIndex()); });
  if (name.isEmpty()) return;

  // The name up to its first full stop; a name without one leaves it empty.
  const qsizetype stop = name.indexOf(QLatin1Char('.'));
  const QString baseName = stop < 0 ? QString() : name.left(stop);

  QString chosen;
  step([&] {
    chosen = MODULE_Dialog32::ShowFileDialog(this, 0, QStringLiteral("Save As BMP"), baseName + QStringLiteral(".bmp"),
                                             QStringLiteral("Bitmap (*.BMP)") + QChar(u'\0') + QStringLiteral("*.bmp"),
                                             MODULE_Public::CurrentPath, QStringLiteral("bmp"));
  });
  chosen = Trim(chosen);
  if (chosen.isEmpty()) return;

  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  step([&] { repaint(); });

  // A bitmap file is copied as it is; any other picture is written anew. A
  // write the system refuses is told.
  const bool saved = step([&] {
    name = File1.list(File1.listIndex());
    if (name.right(3).toUpper() == QStringLiteral("BMP"))
      FileCopy(MODULE_Public::CurrentPath + name, chosen);
    else
      saveWholePicture(IMAGE_Preview.picture(), chosen);
  });
  if (!saved) {
    const QString reason = step.lastError()->reason();
    step([&] {
      Screen::setMousePointer(Screen::DefaultPointer);
      MsgBox(QStringLiteral("Could not save file : ") + chosen + QStringLiteral("\n\n") + reason, msgbox::Critical,
             QStringLiteral("Error Saving"));
    });
  }

  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
