#pragma once

#include <QIcon>
#include <QString>

// Who the program is to the desktop: its name, version, icon and desktop entry.
namespace ProgramIdentity {

// The desktop entry's name (tavlo.desktop), which is also the program's
// command and the name of its icon in the icon theme.
inline const QString DesktopEntry = QStringLiteral("tavlo");

// The program's icon, pixel art drawn for each size the desktop asks for.
QIcon icon();

// Gives the application the program's name, version, icon and desktop entry:
// every window shows the icon, and docks and compositors find the entry.
void announce();

// The text printed for the command line "--version" or "--help"; empty for
// any other command line, which names a picture.
QString answerFor(const QString& commandLine);

}  // namespace ProgramIdentity
