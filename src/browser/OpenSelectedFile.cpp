// The browser's open command: the current file in the program the desktop
// opens its type with.

#include "browser/FORM_Tavlo.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "startup/MODULE_Public.h"

using MODULE_Win32Api::FindAssociatedProgram;
using MODULE_Win32Api::ShellOpen;

void FORM_Tavlo::OpenSelectedFile() {
  // A step that fails is passed over and the next one runs.
  platform::SkipFailingSteps step;
  bool anySelected = false;
  step([&] {
    for (int i = 0; i < File1.listCount() && !anySelected; ++i) anySelected = File1.selected(i);
  });
  if (!anySelected) return;

  QString file;
  step([&] { file = MODULE_Public::CurrentPath + File1.list(File1.listIndex()); });
  // Looking up the program may read the file's first bytes: off the window's thread.
  platform::runInBackground(
      this, [file](const platform::BackgroundWork&) { return FindAssociatedProgram(file); },
      [file](platform::Background<QString>& found) {
        platform::SkipFailingSteps opening;
        QString program;
        opening([&] { program = found.take(); });
        // No program for this type: nothing to do, and nothing to tell.
        if (program.isEmpty()) return;
        // The program gets the file, whatever its name holds, as its desktop entry says.
        opening([&] { ShellOpen(program, file); });
      });
}
