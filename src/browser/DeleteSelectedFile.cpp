// The browser's delete command.

#include "browser/FORM_Tavlo.h"

#include "ProgramInfo.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileOperations.h"
#include "platform/desktop/LatestRequest.h"
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
  step([&] { path = CurrentPath + File1.list(File1.listIndex()); });
  // Into the trash off the window's thread; where the file's volume has no
  // trash, it goes for good only when the user says so.
  runInBackground(this, [path](const BackgroundWork&) { return MoveToTrash(path); },
                  [this, path, name](Background<bool>& trashed) {
                    bool inTrash = false;
                    const auto error = runCatchingErrors([&] { inTrash = trashed.take(); });
                    if (inTrash || error) return deleteDone(error);
                    int forGood = msgbox::No;
                    SkipFailingSteps asking;
                    asking([&] {
                      forGood = MsgBox(
                          QStringLiteral("This file cannot be moved to the trash. Delete it for good? : ") + name,
                          msgbox::YesNo + msgbox::Question, ProgramInfo::Name + QStringLiteral(" : Confirm Delete"));
                    });
                    if (forGood != msgbox::Yes) return;
                    runInBackground(this, [path](const BackgroundWork&) { Kill(path); },
                                    [this](Background<void>& killed) {
                                      deleteDone(runCatchingErrors([&] { killed.take(); }));
                                    });
                  });
}

// A file gone before it could be deleted is said to be gone, and the list
// read anew without it; any other refusal leaves everything as it was.
void FORM_Tavlo::deleteDone(const std::optional<RuntimeError>& error) {
  const bool gone = error && (error->number() == errors::FileNotFound || error->number() == errors::PathNotFound);
  if (error) {
    MsgBox(gone ? QStringLiteral("Could not delete file, the file is no longer there.")
                : QStringLiteral("Could not delete file, the file may have READ/SYSTEM attributes."),
           msgbox::Critical, QStringLiteral("Error Deleting"));
    if (!gone) return;
  }
  SkipFailingSteps step;
  step([&] { Screen::setMousePointer(Screen::Hourglass); });
  step([&] { repaint(); });
  step([&] { ClearPreview(); });
  step([&] { File1.refresh(); });
  step([&] { Screen::setMousePointer(Screen::DefaultPointer); });
}
