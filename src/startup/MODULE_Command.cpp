#include "startup/MODULE_Command.h"

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "viewer/FORM_MiniTavlo.h"
#include "platform/CommandLine.h"
#include "platform/ErrorHandling.h"
#include "platform/MODULE_Win32Api.h"
#include "platform/Seams.h"

namespace MODULE_Command {

void Main() {
  using namespace platform;
  withErrorHandler(
      [] {
        // The settings come first, so that every window sees them.
        DefaultInstance<FORM_Settings>::get().load();

        // A picture named on the command line opens alone in the viewer;
        // anything else leads to the browser.
        if (MODULE_Win32Api::FileExists(Command())) {
          FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
          viewer.show();
          if (viewer.IMAGE_MiniPreview.picture().handle() != 0) return;
          viewer.unload();
        }

        DefaultInstance<FORM_Tavlo>::get().show();
      },
      [](const RuntimeError& error) {
        MsgBox(QStringLiteral("Error loading main form: ") + error.description(), msgbox::Critical,
               QStringLiteral("Error"));
      });
}

}  // namespace MODULE_Command
