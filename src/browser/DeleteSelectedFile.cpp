// The browser's delete command.

#include "browser/FORM_Tavlo.h"

#include "ProgramInfo.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileOperations.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "startup/MODULE_Public.h"

using namespace platform;
using MODULE_Public::CurrentPath;

void FORM_Tavlo::DeleteSelectedFile() {
  SkipFailingSteps step;
  QString name;
  step([&] { name = File1.list(File1.listIndex()); });
  if (name.isEmpty()) return;

  if (MODULE_Public::ConfirmDelete == 1) {
    int confirmed = msgbox::Yes;
    step([&] {
      confirmed = MsgBox(QStringLiteral("Are you sure you wish to delete this file : ") + name,
                         msgbox::YesNo + msgbox::Question, ProgramInfo::Name + QStringLiteral(" : Confirm Delete"));
    });
    if (confirmed == msgbox::No) return;
  }

  QString path;
  bool inTrash = false;
  step([&] { path = CurrentPath + File1.list(File1.listIndex()); });
  step([&] { inTrash = MoveToTrash(path); });
  if (!inTrash && !step.lastError()) {
    // The file's volume has no trash: it goes for good only when the user says so.
    int forGood = msgbox::No;
    step([&] {
      forGood = MsgBox(QStringLiteral("This file cannot be moved to the trash. Delete it for good? : ") + name,
                       msgbox::YesNo + msgbox::Question, ProgramInfo::Name + QStringLiteral(" : Confirm Delete"));
    });
    if (forGood != msgbox::Yes) return;
    step([&] { Kill(path); });
  }
  if (step.lastError()) {
    MsgBox(QStringLiteral("Could not delete file, the file may have READ/SYSTEM attributes."), msgbox::Critical,
           QStringLiteral("Error Deleting"));
    return;
  }

  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  step([&] { repaint(); });
  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
