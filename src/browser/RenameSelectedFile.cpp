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

  // The box starts at the folder: the user types the new name after it.
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

  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  step([&] { repaint(); });
  // The new name as typed; an existing file of that name is never replaced.
  step([&] { Name(CurrentPath + name, answer); });
  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
