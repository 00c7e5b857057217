// The browser's rename command.

#include "browser/FORM_Tavlo.h"

#include "ProgramInfo.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileOperations.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "platform/forms/Conversions.h"
#include "startup/MODULE_Public.h"

using namespace platform;
using MODULE_Public::CurrentPath;

void FORM_Tavlo::RenameSelectedFile() {
  SkipFailingSteps step;
  QString name;
  step([&] { name = File1.list(File1.listIndex()); });
  if (name.isEmpty()) return;

  // The box starts at the folder, the cursor after it: the user types the
  // new name there.
  QString answer;
  step([&] {
    answer = InputBox(QStringLiteral("Enter the new name for this file...\n\n") + CurrentPath + name,
                      QStringLiteral("Rename"), CurrentPath);
  });
  answer = Trim(answer);
  if (answer.isEmpty() || answer == CurrentPath) return;

  if (MODULE_Public::ConfirmRename == 1) {
    int confirmed = msgbox::Yes;
    step([&] {
      confirmed = MsgBox(QStringLiteral("Are you sure you wish to rename this file : ") + name,
                         msgbox::YesNo + msgbox::Question, ProgramInfo::Name + QStringLiteral(" : Confirm Rename"));
    });
    if (confirmed == msgbox::No) return;
  }

  // A name without a folder of its own stays in the browser's folder; one
  // with a folder moves the file there.
  const QString newPath = answer.startsWith(QLatin1Char('/')) ? answer : CurrentPath + answer;

  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  step([&] { repaint(); });
  // Renamed off the window's thread; an existing file of that name is never
  // replaced, and a refusal is told.
  runInBackground(
      this, [oldPath = CurrentPath + name, newPath](const BackgroundWork&) { Name(oldPath, newPath); },
      [this, name](Background<void>& renamed) {
        fileCommandDone(runCatchingErrors([&] { renamed.take(); }), QStringLiteral("Could not rename file : ") + name,
                        QStringLiteral("Error Renaming"));
      });
}

// The end of a rename or a save: a refusal is told with the system's reason,
// then the pane is cleared and the folder listed anew.
void FORM_Tavlo::fileCommandDone(const std::optional<RuntimeError>& error, const QString& failed,
                                 const QString& title) {
  SkipFailingSteps step;
  if (error) {
    step([&] {
      Screen::setMousePointer(Screen::DefaultPointer);
      MsgBox(failed + QStringLiteral("\n\n") + error->reason(), msgbox::Critical, title);
    });
  }
  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
