#include "startup/ProgramIdentity.h"

#include "ProgramInfo.h"
#include "platform/pictures/OwnPictures.h"

#include <QApplication>
#include <QDirIterator>
#include <QPixmap>

namespace ProgramIdentity {

QIcon icon() {
  QIcon icon;
  QDirIterator sizes(QStringLiteral(":/pictures/icons"));
  while (sizes.hasNext()) icon.addPixmap(QPixmap::fromImage(platform::ownPicture(sizes.next())));
  return icon;
}

void announce() {
  QApplication::setApplicationName(ProgramInfo::Name);
  QApplication::setApplicationVersion(ProgramInfo::Version);
  QApplication::setOrganizationName(ProgramInfo::Name);
  QGuiApplication::setDesktopFileName(DesktopEntry);
  QApplication::setWindowIcon(icon());
}

QString answerFor(const QString& commandLine) {
  if (commandLine == QLatin1String("--version"))
    return ProgramInfo::Name + QLatin1Char(' ') + ProgramInfo::Version + QLatin1Char('\n');
  if (commandLine != QLatin1String("--help")) return QString();
  return QStringLiteral(
      "Usage: tavlo [PICTURE]\n"
      "Shows PICTURE in the viewer; without one, or when it is no picture Tavlo\n"
      "reads, opens the picture browser. Everything after the command is taken\n"
      "as one path, blanks included.\n"
      "\n"
      "  --help     print this help and exit\n"
      "  --version  print the name and version and exit\n"
      "\n"
      "See tavlo(1).\n");
}

}  // namespace ProgramIdentity
