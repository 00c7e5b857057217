#include "platform/pictures/MetafileHelper.h"

#include "platform/pictures/MetafileProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <cmath>

namespace platform {

namespace protocol = metafile_protocol;

namespace {

constexpr char HelperName[] = "tavlo-metafile-helper";
constexpr rlim_t CpuSeconds = 600;
constexpr rlim_t AddressSpaceBytes = 2ULL * 1024 * 1024 * 1024;

void setLimit(int resource, rlim_t value) {
  const rlimit limit{value, value};
  ::setrlimit(resource, &limit);
}

// Built with AddressSanitizer (make test-sanitized), the helper reserves
// terabytes of address space for the sanitizer's shadow memory at start, and
// writes any report to a file of its own: such a build goes without the
// address-space and file-size limits, which would refuse both.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
constexpr bool SanitizedBuild = __has_feature(address_sanitizer);
#else
constexpr bool SanitizedBuild = false;
#endif

// Runs in the child between fork and exec, so only system calls.
void limitChild() {
  setLimit(RLIMIT_CPU, CpuSeconds);
  if (!SanitizedBuild) {
    setLimit(RLIMIT_AS, AddressSpaceBytes);
    setLimit(RLIMIT_FSIZE, 0);
  }
  setLimit(RLIMIT_CORE, 0);
}

}  // namespace

QString metafileHelperProgram() {
  const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(HelperName);
  if (QFileInfo(beside).isExecutable()) return beside;
#ifdef TAVLO_BUILT_HELPER
  return QStringLiteral(TAVLO_BUILT_HELPER);
#else
  return beside;
#endif
}

MetafileHelper::MetafileHelper(std::unique_ptr<QProcess> process, HelperLimits limits)
    : process_(std::move(process)), limits_(limits) {}

MetafileHelper::~MetafileHelper() {
  if (process_->state() == QProcess::NotRunning) return;
  process_->closeWriteChannel();  // the helper ends when its input does
  if (!process_->waitForFinished(1000)) fail();
}

std::unique_ptr<MetafileHelper> MetafileHelper::start(const QByteArray& metafile, const QString& program,
                                                      HelperLimits limits) {
  if (static_cast<std::uint64_t>(metafile.size()) > protocol::MetafileLimit) return nullptr;
  auto process = std::make_unique<QProcess>();
  process->setProgram(program);
  process->setStandardErrorFile(QProcess::nullDevice());
  process->setChildProcessModifier(limitChild);
  process->start(QIODevice::ReadWrite | QIODevice::Unbuffered);
  if (!process->waitForStarted()) return nullptr;
  std::unique_ptr<MetafileHelper> helper(new MetafileHelper(std::move(process), limits));

  const std::uint64_t length = static_cast<std::uint64_t>(metafile.size());
  helper->process_->write(reinterpret_cast<const char*>(&length), sizeof length);
  helper->process_->write(metafile);
  const QDeadlineTimer deadline(limits.startMilliseconds);
  protocol::Status status = protocol::Failed;
  double extent[2] = {0, 0};
  if (!helper->readExactly(reinterpret_cast<char*>(&status), 1, deadline) || status != protocol::Ready ||
      !helper->readExactly(reinterpret_cast<char*>(extent), sizeof extent, deadline))
    return nullptr;
  if (!(extent[0] > 0) || !(extent[1] > 0) || !std::isfinite(extent[0]) || !std::isfinite(extent[1])) return nullptr;
  helper->extent_ = QSizeF(extent[0], extent[1]);
  return helper;
}

QImage MetafileHelper::render(QSize size, const QRect& part) {
  const protocol::RenderRequest request{size.width(), size.height(), part.x(), part.y(), part.width(), part.height()};
  if (!protocol::isValid(request) || process_->state() != QProcess::Running) return {};
  QImage image(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  process_->write(reinterpret_cast<const char*>(&request), sizeof request);
  const QDeadlineTimer deadline(limits_.renderMilliseconds);
  protocol::Status status = protocol::Failed;
  if (!readExactly(reinterpret_cast<char*>(&status), 1, deadline)) return {};
  if (status != protocol::Ready) return {};
  // 32-bit rows are packed: the image's bytes are the pixels in order.
  if (!readExactly(reinterpret_cast<char*>(image.bits()), image.sizeInBytes(), deadline)) return {};
  return image;
}

bool MetafileHelper::readExactly(char* into, qint64 count, const QDeadlineTimer& deadline) {
  while (count > 0) {
    if (process_->bytesAvailable() == 0 && !process_->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      fail();
      return false;
    }
    const qint64 got = process_->read(into, count);
    if (got < 0) {
      fail();
      return false;
    }
    into += got;
    count -= got;
  }
  return true;
}

void MetafileHelper::fail() {
  if (process_->state() == QProcess::NotRunning) return;
  process_->kill();
  process_->waitForFinished();
}

}  // namespace platform
