// The browser's "Save As BMP..." command: the previewed picture written as a
// Windows bitmap where the user says, or a bitmap file copied unchanged.

#include "browser/FORM_Tavlo.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/desktop/MODULE_Dialog32.h"
#include "platform/desktop/SafeWrite.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "platform/forms/Conversions.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

#include <QIODevice>

using namespace platform;

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

  // A file that holds a bitmap, whatever its name, is copied as it is; any
  // other picture is written anew, decoded whole first where the preview
  // holds a reduced copy. Both off the window's thread; a write the system
  // refuses is told.
  std::function<void(const BackgroundWork&)> save;
  const auto rowError = runCatchingErrors([&] {
    save = [source = MODULE_Public::CurrentPath + File1.list(File1.listIndex()), picture = IMAGE_Preview.picture(),
            chosen](const BackgroundWork& work) {
      const ReadableFile file(source);
      if (Picture::isWindowsBitmap(file)) {
        const QByteArray bytes = file.readAll();
        writeFileWhole(chosen, [&](QIODevice& out) { out.write(bytes); });
        return;
      }
      picture.decodeWhole(&work);
      picture.saveAsBitmap(chosen);
    };
  });
  const QString failed = QStringLiteral("Could not save file : ") + chosen;
  if (rowError) return fileCommandDone(rowError, failed, QStringLiteral("Error Saving"));
  runInBackground(this, std::move(save), [this, failed](Background<void>& saved) {
    fileCommandDone(runCatchingErrors([&] { saved.take(); }), failed, QStringLiteral("Error Saving"));
  });
}
