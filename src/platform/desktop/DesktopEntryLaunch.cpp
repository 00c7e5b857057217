#include "platform/desktop/DesktopEntryLaunch.h"

#include "platform/desktop/Gio.h"
#include "platform/desktop/RuntimeError.h"

#include <QFile>

namespace platform {

void launchDesktopEntry(const QString& desktopEntry, const QString& file) {
  const QByteArray entryPath = QFile::encodeName(desktopEntry);
  const QByteArray filePath = QFile::encodeName(file);
  if (entryPath.isEmpty() || entryPath.contains('\0') || filePath.contains('\0')) raise(errors::BadFileNameOrNumber);
  const gio::Object<GDesktopAppInfo> program(g_desktop_app_info_new_from_filename(entryPath.constData()));
  if (!program) raise(errors::FileNotFound);
  const gio::Object<GFile> opened(file.isEmpty() ? nullptr : g_file_new_for_path(filePath.constData()));
  GList files{opened.get(), nullptr, nullptr};
  GError* failure = nullptr;
  const bool started = g_app_info_launch(G_APP_INFO(program.get()), opened ? &files : nullptr, nullptr, &failure);
  const gio::Error error(failure);
  if (!started) raise(errors::FileNotFound);
}

}  // namespace platform
