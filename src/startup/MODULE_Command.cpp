#include "startup/MODULE_Command.h"

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "platform/desktop/Seams.h"
#include "viewer/FORM_MiniTavlo.h"

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
          viewer.showForm();
          if (viewer.IMAGE_MiniPreview.picture().handle() != 0) return;
          viewer.unload();
        }

        DefaultInstance<FORM_Tavlo>::get().showForm();
      },
      [](const RuntimeError& error) {
        MsgBox(QStringLiteral("Error loading main form: ") + error.description(), msgbox::Critical,
               QStringLiteral("Error"));
      });
}

}  // namespace MODULE_Command
