// The browser's rename command.

#include "browser/FORM_Tavlo.h"

#include "ProgramInfo.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileOperations.h"
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
  // An existing file of that name is never replaced. A refusal is told.
  if (!step([&] { Name(CurrentPath + name, newPath); })) {
    const QString reason = step.lastError()->reason();
    step([&] {
      Screen::setMousePointer(Screen::DefaultPointer);
      MsgBox(QStringLiteral("Could not rename file : ") + name + QStringLiteral("\n\n") + reason, msgbox::Critical,
             QStringLiteral("Error Renaming"));
    });
  }
  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
