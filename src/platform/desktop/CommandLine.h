#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The command-line text after the program's name, as one text.
QString Command();
void setCommandLine(const QString& text);
// The arguments joined with single blanks: several paths make one text, and
// nothing is unquoted or trimmed.
QString joinArguments(const QStringList& argumentsAfterProgramName);

}  // namespace platform
