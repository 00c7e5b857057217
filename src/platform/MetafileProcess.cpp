#include "platform/MetafileProcess.h"

#include "platform/MetafileHeader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

namespace platform {

namespace {

constexpr char ConverterName[] = "tavlo-metafile-converter";
constexpr rlim_t CpuSeconds = 10;
constexpr rlim_t AddressSpaceBytes = 2ULL * 1024 * 1024 * 1024;

void setLimit(int resource, rlim_t value) {
  const rlimit limit{value, value};
  ::setrlimit(resource, &limit);
}

// Runs in the child between fork and exec, so only system calls.
void limitChild() {
  setLimit(RLIMIT_CPU, CpuSeconds);
  setLimit(RLIMIT_AS, AddressSpaceBytes);
  setLimit(RLIMIT_FSIZE, 0);
  setLimit(RLIMIT_CORE, 0);
}

}  // namespace

QString converterProgram() {
  const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(ConverterName);
  if (QFileInfo(beside).isExecutable()) return beside;
#ifdef TAVLO_BUILT_CONVERTER
  return QStringLiteral(TAVLO_BUILT_CONVERTER);
#else
  return beside;
#endif
}

std::optional<QByteArray> convertMetafileInChildProcess(const QByteArray& metafile, const QString& program,
                                                        ConversionLimits limits) {
  QProcess process;
  process.setProgram(program);
  process.setStandardErrorFile(QProcess::nullDevice());
  process.setChildProcessModifier(limitChild);
  process.start(QIODevice::ReadWrite);
  if (!process.waitForStarted()) return std::nullopt;
  process.write(metafile);
  process.closeWriteChannel();

  const qsizetype limit = limits.outputBytes > 0 ? limits.outputBytes : svgLimitForMetafile(metafile.size());
  const QDeadlineTimer deadline(limits.milliseconds);
  QByteArray svg;
  while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
    process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    svg += process.readAllStandardOutput();
    if (svg.size() > limit) break;
  }
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished();
    return std::nullopt;
  }
  svg += process.readAllStandardOutput();
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || svg.isEmpty() ||
      svg.size() > limit)
    return std::nullopt;
  return svg;
}

}  // namespace platform
