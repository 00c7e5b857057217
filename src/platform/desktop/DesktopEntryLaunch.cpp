#include "platform/desktop/DesktopEntryLaunch.h"

#include "platform/desktop/FileNames.h"
#include "platform/desktop/Gio.h"
#include "platform/desktop/RuntimeError.h"

namespace platform {

void launchDesktopEntry(const QString& desktopEntry, const QString& file) {
  const QByteArray entryPath = nativeFileName(desktopEntry);
  const QByteArray filePath = nativeFileName(file);
  if (entryPath.isEmpty() || entryPath.contains('\0') || filePath.contains('\0')) raise(errors::BadFileNameOrNumber);
  const gio::Object<GDesktopAppInfo> program(g_desktop_app_info_new_from_filename(entryPath.constData()));
  if (!program || !fieldCodesOutsideQuotes(g_app_info_get_commandline(G_APP_INFO(program.get()))))
    raise(errors::FileNotFound);
  const gio::Object<GFile> opened(file.isEmpty() ? nullptr : g_file_new_for_path(filePath.constData()));
  GList files{opened.get(), nullptr, nullptr};
  GError* failure = nullptr;
  const bool started = g_app_info_launch(G_APP_INFO(program.get()), opened ? &files : nullptr, nullptr, &failure);
  const gio::Error error(failure);
  if (!started) raise(errors::FileNotFound);
}

bool fieldCodesOutsideQuotes(const QByteArray& commandLine) {
  enum { Plain, Double, Single } quote = Plain;
  for (qsizetype at = 0; at < commandLine.size(); ++at) {
    const char c = commandLine[at], next = at + 1 < commandLine.size() ? commandLine[at + 1] : '\0';
    if (c == '%') {
      if (next != '%' && quote != Plain) return false;
      ++at;  // the code's letter, or the second "%" of a percent sign
    } else if (c == '\\' && quote != Single) {
      if (next == '%') return false;  // the name's opening quote would be taken as a character
      ++at;
    } else if (c == '"' && quote != Single) {
      quote = quote == Double ? Plain : Double;
    } else if (c == '\'' && quote != Double) {
      quote = quote == Single ? Plain : Single;
    }
  }
  return quote == Plain;
}

}  // namespace platform
