#include "platform/desktop/MODULE_Win32Api.h"

#include "platform/desktop/DesktopEntryLaunch.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/Gio.h"
#include "platform/desktop/Seams.h"

#include <QFile>

#include <unistd.h>

namespace MODULE_Win32Api {

namespace {

// The lookup's codes, as the caller reads them.
constexpr std::int32_t ProgramFound = 42;
constexpr std::int32_t NoAssociation = 31;
constexpr std::int32_t FileNotFound = 2;

// The first bytes of a regular file, enough to tell its type by content.
// Anything else is never read, and nothing here waits.
QByteArray firstBytes(const QString& file) {
  QByteArray bytes;
  platform::SkipFailingSteps step;
  step([&] { bytes = platform::ReadableFile(file).read(4096); });
  return bytes;
}

// The program the desktop opens the file with: the file's type from its
// name, or from its first bytes where the name says nothing; that type's
// default application, whose desktop entry GIO takes only when its program
// is installed. Gives the lookup's code and, when found, the path of the
// program's desktop entry.
std::int32_t findDesktopEntry(const QString& file, QString& entry) {
  const QByteArray native = platform::nativeFileName(file);
  if (native.isEmpty() || native.contains('\0') || ::access(native.constData(), F_OK) != 0) return FileNotFound;
  gboolean uncertain = FALSE;
  platform::gio::Text type(g_content_type_guess(native.constData(), nullptr, 0, &uncertain));
  if (uncertain) {
    const QByteArray head = firstBytes(file);
    if (!head.isEmpty())
      type.reset(g_content_type_guess(native.constData(), reinterpret_cast<const guchar*>(head.constData()),
                                      static_cast<gsize>(head.size()), nullptr));
  }
  if (!type) return NoAssociation;
  const platform::gio::Object<GAppInfo> application(g_app_info_get_default_for_type(type.get(), FALSE));
  if (!application || !G_IS_DESKTOP_APP_INFO(application.get())) return NoAssociation;
  // A command line the desktop would expand unsafely is no way to open anything.
  if (!platform::fieldCodesOutsideQuotes(g_app_info_get_commandline(application.get()))) return NoAssociation;
  const char* path = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(application.get()));
  if (!path) return NoAssociation;
  entry = platform::fileNameText(path);
  return ProgramFound;
}

}  // namespace

std::int16_t FileExists(const QString& path) {
  bool opened = false;
  platform::SkipFailingSteps step;
  step([&] {
    platform::ReadableFile file(path);
    opened = true;
  });
  return opened ? -1 : 0;
}

QString FindAssociatedProgram(const QString& file) {
  QString found;
  platform::withErrorHandler(
      [&] {
        QString entry;
        FindExeResult = findDesktopEntry(file, entry);
        // Blanks around the path are kept: here they can belong to its name.
        entry = StripNull(entry);
        if (FindExeResult > 32) found = entry;
      },
      [&](const platform::RuntimeError&) { found.clear(); });
  return found;
}

void ShellOpen(const QString& file, const std::optional<QString>& parameters, const std::optional<QString>& style) {
  int showMode = 1;
  if (style) showMode = style->toUpper().left(3) == QStringLiteral("MIN") ? 2 : 3;
  const QString parameterText = parameters.value_or(QString());
  platform::SkipFailingSteps step;
  step([&] { platform::seams().programStart->start(file, parameterText, showMode); });
}

QString StripNull(const QString& text) {
  const qsizetype end = text.indexOf(QChar(u'\0'));
  return end < 0 ? text : text.left(end);
}

}  // namespace MODULE_Win32Api
