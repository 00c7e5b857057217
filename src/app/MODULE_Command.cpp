#include "app/MODULE_Command.h"

#include "browser/FORM_Tavlo.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/LatestRequest.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "platform/desktop/Seams.h"
#include "viewer/FORM_MiniTavlo.h"

namespace MODULE_Command {

using namespace platform;

namespace {

// Start-up's one error handler: the error is told, and the run is over.
void startUpFailed(const RuntimeError& error) {
  MsgBox(QStringLiteral("Error loading main form: ") + error.description(), msgbox::Critical, QStringLiteral("Error"));
  endProgram();
}

template <class Step>
void startUpStep(Step step) {
  withErrorHandler(step, startUpFailed);
}

void showBrowser() { DefaultInstance<FORM_Tavlo>::get().showForm(); }

// A picture named on the command line opens alone in the viewer; a file
// that holds none leads to the browser.
void showViewer(const QString& path) {
  FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
  viewer.PicturePath = path;
  viewer.showForm();
  viewer.whenLoaded([] {
    startUpStep([] {
      FORM_MiniTavlo& loaded = DefaultInstance<FORM_MiniTavlo>::get();
      if (loaded.IMAGE_MiniPreview.picture().handle() != 0) return;
      loaded.unload();
      showBrowser();
    });
  });
}

}  // namespace

void Main() {
  startUpStep([] {
    // The settings come first, so that every window sees them.
    DefaultInstance<FORM_Settings>::get().load();
    // Whether the command line names a file that opens is asked off the
    // window's thread: it may lie on a volume that does not answer.
    const QString commandLine = Command();
    runInBackground(
        &DefaultInstance<FORM_Settings>::get(),
        [commandLine](const BackgroundWork&) { return MODULE_Win32Api::FileExists(commandLine); },
        [commandLine](Background<std::int16_t>& opens) {
          startUpStep([&] {
            if (opens.take())
              showViewer(commandLine);
            else
              showBrowser();
          });
        });
  });
}

}  // namespace MODULE_Command
