#include "platform/desktop/MODULE_Win32Api.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/Seams.h"

#include <QFile>
#include <QFileInfo>

// GLib names a member "signals", which Qt's keyword macro would rewrite.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <memory>

namespace MODULE_Win32Api {

namespace {

// The lookup's codes, as the caller reads them.
constexpr std::int32_t ProgramFound = 42;
constexpr std::int32_t NoAssociation = 31;
constexpr std::int32_t FileNotFound = 2;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};
struct GUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
using GText = std::unique_ptr<gchar, GFree>;

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
// default application; its program found on the PATH. Gives the lookup's
// code and, when found, the program's full path.
std::int32_t findExecutable(const QString& file, QString& program) {
  const QByteArray native = QFile::encodeName(file);
  if (native.isEmpty() || native.contains('\0') || !QFileInfo::exists(file)) return FileNotFound;
  gboolean uncertain = FALSE;
  GText type(g_content_type_guess(native.constData(), nullptr, 0, &uncertain));
  if (uncertain) {
    const QByteArray head = firstBytes(file);
    if (!head.isEmpty())
      type.reset(g_content_type_guess(native.constData(), reinterpret_cast<const guchar*>(head.constData()),
                                      static_cast<gsize>(head.size()), nullptr));
  }
  if (!type) return NoAssociation;
  const std::unique_ptr<GAppInfo, GUnref> application(g_app_info_get_default_for_type(type.get(), FALSE));
  const char* executable = application ? g_app_info_get_executable(application.get()) : nullptr;
  const GText path(executable ? g_find_program_in_path(executable) : nullptr);
  if (!path) return NoAssociation;
  program = QFile::decodeName(path.get());
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
        QString program;
        FindExeResult = findExecutable(file, program);
        // Blanks around the path are kept: here they can belong to its name.
        program = StripNull(program);
        if (FindExeResult > 32) found = program;
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
