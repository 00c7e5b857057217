// The browser's rename command.

#include "browser/FORM_Tavlo.h"

#include "platform/ErrorHandling.h"
#include "platform/FileOperations.h"
#include "platform/Screen.h"
#include "platform/Seams.h"
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
                         msgbox::YesNo + msgbox::Question, QStringLiteral("Tavlo : Confirm Rename"));
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
