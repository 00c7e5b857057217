#include "app/MODULE_Command.h"
#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/CommandLine.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/LeavingProcess.h"
#include "platform/desktop/PluginFolders.h"
#include "platform/desktop/Screen.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/MetafileHelper.h"
#include "startup/ProgramIdentity.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

bool hasDisplay() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
         qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  // Taken before Qt sees them, so that an argument Qt would take for one of
  // its own options still reaches the program.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(platform::fileNameText(argv[i]));
  const QString commandLine = platform::joinArguments(arguments);

  // "--version" and "--help" ask about the program; they need no display.
  if (const QString answer = ProgramIdentity::answerFor(commandLine); !answer.isEmpty()) {
    std::fputs(answer.toLocal8Bit().constData(), stdout);
    return EXIT_SUCCESS;
  }

  if (!hasDisplay()) {
    std::fputs(
        "tavlo: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
        "run it on a desktop, or headless as: xvfb-run tavlo\n",
        stderr);
    return EXIT_FAILURE;
  }

  // The window is the child's; the process the user started ends with the
  // run, even where a thread is left stuck on a volume.
  platform::runInAChildProcess();
  // No picture decoder may run in this process, not even for Qt's own icons.
  platform::PluginFolders::hideImagePlugins();
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  ProgramIdentity::announce();
  // Pictures with a profile are shown in the display's colours; the workers
  // that decode them start while the window opens.
  platform::DecoderWorkers::setDisplayProfile(platform::Screen::colourProfile());
  platform::DecoderWorkers::startInBackground();
  platform::startInBackground([](const platform::BackgroundWork&) { platform::MetafileHelper::startSpare(); });
  // The program ends when its main window says so, not when a window closes.
  QApplication::setQuitOnLastWindowClosed(false);

  platform::setCommandLine(commandLine);
  MODULE_Command::Main();
  const int code = application.exec();
  platform::runIsOver(code);
  // Work still going is cancelled; work stuck on a volume that does not
  // answer would keep the process alive for good: it is left behind.
  if (!platform::endBackgroundWork(std::chrono::milliseconds(100))) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
