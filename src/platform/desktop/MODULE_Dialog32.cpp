#include "platform/desktop/MODULE_Dialog32.h"

#include "platform/desktop/FileNames.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Seams.h"

namespace MODULE_Dialog32 {

namespace {

// "Text" NUL "*.a;*.b" NUL ... as the dialog lists them: "Text (*.a *.b)".
QStringList filterEntries(const QString& filter) {
  const QStringList parts = filter.split(QChar(u'\0'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;  // the closing NUL pair
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    entries.append(parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')'));
  }
  return entries;
}

}  // namespace

QString ShowFileDialog(QWidget* owner, std::int16_t mode, const QString& title, const QString& fileName,
                       const QString& filter, const QString& initialDir, const QString& defaultExt) {
  if (fileName.size() > MaxFileName) platform::raise(platform::errors::InvalidProcedureCall);

  platform::FileDialogRequest request;
  const bool opening = mode == 1;
  request.mode = opening ? platform::FileDialogRequest::Mode::Open : platform::FileDialogRequest::Mode::Save;
  request.owner = owner;
  request.title = title;
  request.initialFolder = initialDir;
  request.suggestedName = platform::displayedName(fileName);
  request.filters = filterEntries(filter);
  request.defaultExtension = defaultExt;
  request.confirmOverwrite = !opening;
  request.pathMustExist = true;
  request.fileMustExist = opening;
  return platform::seams().fileDialog->show(request);
}

}  // namespace MODULE_Dialog32
