#include "platform/desktop/CommandLine.h"

namespace platform {

namespace {
QString& commandLineText() {
  static QString text;
  return text;
}
}  // namespace

QString Command() { return commandLineText(); }

void setCommandLine(const QString& text) { commandLineText() = text; }

QString joinArguments(const QStringList& argumentsAfterProgramName) {
  return argumentsAfterProgramName.join(QLatin1Char(' '));
}

}  // namespace platform
