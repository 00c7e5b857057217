#include "startup/MODULE_Command.h"

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/ErrorHandling.h"
#include "platform/Seams.h"

namespace MODULE_Command {

void Main() {
  using namespace platform;
  withErrorHandler(
      [] {
        // The settings come first, so that every window sees them.
        DefaultInstance<FORM_Settings>::get().load();

        DefaultInstance<FORM_Tavlo>::get().show();
      },
      [](const RuntimeError& error) {
        MsgBox(QStringLiteral("Error loading main form: ") + error.description(), msgbox::Critical,
               QStringLiteral("Error"));
      });
}

}  // namespace MODULE_Command
