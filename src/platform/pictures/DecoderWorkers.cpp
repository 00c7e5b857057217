#include "platform/pictures/DecoderWorkers.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/DecoderProtocol.h"
#include "platform/pictures/DescriptorMessages.h"
#include "platform/pictures/HelperProcess.h"
#include "platform/pictures/Picture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

namespace wire = decoder_protocol;

namespace {

constexpr char WorkerName[] = "tavlo-decoder";
// Idle workers kept for the next pictures.
constexpr size_t KeptWorkers = 2;
// How often a wait looks whether its work was cancelled, and how long a
// worker asked to give a picture up may take to do so.
constexpr int PollMilliseconds = 20;
constexpr int GivingUpMilliseconds = 500;

struct Settings {
  std::mutex mutex;
  QString program;
  QByteArray displayProfile;
  int timeLimitMilliseconds = 15'000;
  std::atomic<DecoderWorkers::InProcessDecoder> inProcess{nullptr};
  std::vector<std::unique_ptr<struct Worker>> idle, idleLow;
};

Settings& settings() {
  static Settings* kept = new Settings;  // outlives the threads that may still use it at exit
  return *kept;
}

// A memory file holding the bytes, for handing over.
int memoryFileOf(const char* name, const void* bytes, size_t size) {
  const int file = ::memfd_create(name, MFD_CLOEXEC);
  if (file < 0) return -1;
  if (::ftruncate(file, static_cast<off_t>(size)) == 0 &&
      (size == 0 || ::pwrite(file, bytes, size, 0) == static_cast<ssize_t>(size)))
    return file;
  ::close(file);
  return -1;
}

bool sendRequest(int channel, const wire::Request& request, std::initializer_list<int> descriptors) {
  return sendMessage(channel, &request, sizeof request, descriptors);
}

// One worker process, its socket and the control page it shares with us.
struct Worker {
  pid_t process = -1;
  int channel = -1;
  int controlFile = -1;
  wire::ControlPage* control = nullptr;

  ~Worker() {
    if (control) ::munmap(control, sizeof *control);
    if (controlFile >= 0) ::close(controlFile);
    if (channel >= 0) ::close(channel);
    if (process > 0) {
      ::kill(process, SIGKILL);
      startInBackground([process = process](const BackgroundWork&) { reapHelper(process); });
    }
  }

  static std::unique_ptr<Worker> start(DecoderWorkers::Priority priority = DecoderWorkers::Priority::Normal) {
    QString program;
    QByteArray profile;
    {
      const std::lock_guard lock(settings().mutex);
      program = settings().program.isEmpty() ? helperProgram(WorkerName) : settings().program;
      profile = settings().displayProfile;
    }
    auto worker = std::make_unique<Worker>();
    worker->process = startHelper(program, SOCK_SEQPACKET, worker->channel);
    if (worker->process <= 0 || !limitHelper(worker->process, HelperWrites::MemoryFiles)) return nullptr;
    if (priority == DecoderWorkers::Priority::Low) ::setpriority(PRIO_PROCESS, static_cast<id_t>(worker->process), 10);
    worker->controlFile = ::memfd_create("control", MFD_CLOEXEC);
    if (worker->controlFile < 0 || ::ftruncate(worker->controlFile, sizeof(wire::ControlPage)) != 0) return nullptr;
    void* page = ::mmap(nullptr, sizeof(wire::ControlPage), PROT_READ | PROT_WRITE, MAP_SHARED, worker->controlFile, 0);
    if (page == MAP_FAILED) return nullptr;
    worker->control = static_cast<wire::ControlPage*>(page);
    const int profileFile = memoryFileOf("profile", profile.constData(), static_cast<size_t>(profile.size()));
    if (profileFile < 0) return nullptr;
    wire::Request setup{};
    setup.kind = wire::Kind::Setup;
    setup.size = profile.size();
    const bool sent = sendRequest(worker->channel, setup, {worker->controlFile, profileFile});
    ::close(profileFile);
    return sent ? std::move(worker) : nullptr;
  }

  // Waits for the reply, giving the picture up once the work is cancelled;
  // false when the worker has failed (it ended, or ran past its time).
  bool awaitReply(wire::Reply& reply, int& pixels, const BackgroundWork* work, int timeLimit) {
    const QDeadlineTimer deadline(timeLimit);
    QDeadlineTimer givingUp(QDeadlineTimer::Forever);
    for (;;) {
      if (work && work->cancelled() && givingUp.isForever()) {
        control->cancelled.store(1);
        givingUp.setRemainingTime(GivingUpMilliseconds);
      }
      pollfd watched{channel, POLLIN, 0};
      const int ready = ::poll(&watched, 1, PollMilliseconds);
      if (ready < 0 && errno != EINTR) return false;
      if (ready > 0) return receiveReply(reply, pixels);
      if (deadline.hasExpired() || givingUp.hasExpired()) return false;
    }
  }

  // The reply, and the pixels' descriptor that came with it, if any.
  bool receiveReply(wire::Reply& reply, int& pixels) const {
    std::array<int, MostDescriptors> descriptors;
    const bool received = receiveMessage(channel, &reply, sizeof reply, descriptors, MSG_DONTWAIT);
    pixels = descriptors[0];
    for (size_t i = 1; i < descriptors.size(); ++i)
      if (descriptors[i] >= 0) ::close(descriptors[i]);
    return received;
  }
};

std::vector<std::unique_ptr<Worker>>& idleWorkers(DecoderWorkers::Priority priority) {
  return priority == DecoderWorkers::Priority::Low ? settings().idleLow : settings().idle;
}

std::unique_ptr<Worker> takeWorker(DecoderWorkers::Priority priority) {
  {
    const std::lock_guard lock(settings().mutex);
    auto& idle = idleWorkers(priority);
    if (!idle.empty()) {
      auto worker = std::move(idle.back());
      idle.pop_back();
      return worker;
    }
  }
  return Worker::start(priority);
}

void keepWorker(std::unique_ptr<Worker> worker, DecoderWorkers::Priority priority) {
  const std::lock_guard lock(settings().mutex);
  auto& idle = idleWorkers(priority);
  if (idle.size() < (priority == DecoderWorkers::Priority::Low ? 1 : KeptWorkers)) idle.push_back(std::move(worker));
}

// Memory a worker handed back, mapped as the picture's, unmapped with it.
struct MappedPixels {
  void* memory;
  size_t size;
};

// The pixels of a reply, checked against what the reply says before they
// are taken: a worker taken over may say anything.
QImage mappedPicture(const wire::Reply& reply, int file) {
  const bool sane = reply.width > 0 && reply.height > 0 && reply.width <= wire::SideLimit &&
                    reply.height <= wire::SideLimit && reply.format > QImage::Format_Invalid &&
                    reply.format < QImage::NImageFormats && reply.colourCount >= 0 && reply.colourCount <= 256;
  if (!sane) return {};
  const auto format = static_cast<QImage::Format>(reply.format);
  const qint64 bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
  const qint64 rowBytes = (qint64{reply.width} * bitsPerPixel + 7) / 8;
  const qint64 rows = qint64{reply.bytesPerLine} * reply.height;
  const qint64 size = rows + qint64{reply.colourCount} * 4;
  if (reply.bytesPerLine < rowBytes || reply.bytesPerLine % 4 != 0 ||
      rows > qint64{Picture::AllocationLimitMegabytes} << 20)
    return {};
  // Sealed, so that the worker can change it no more, and as large as said.
  struct stat info {};
  const int seals = ::fcntl(file, F_GET_SEALS);
  const int needed = F_SEAL_WRITE | F_SEAL_SHRINK;
  if (seals < 0 || (seals & needed) != needed || ::fstat(file, &info) != 0 || info.st_size != size) return {};
  void* memory = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, file, 0);
  if (memory == MAP_FAILED) return {};
  auto* mapped = new MappedPixels{memory, static_cast<size_t>(size)};
  QImage image(
      static_cast<const uchar*>(memory), reply.width, reply.height, reply.bytesPerLine, format,
      [](void* held) {
        auto* pixels = static_cast<MappedPixels*>(held);
        ::munmap(pixels->memory, pixels->size);
        delete pixels;
      },
      mapped);
  if (image.isNull()) {
    ::munmap(memory, static_cast<size_t>(size));
    delete mapped;
    return {};
  }
  if (reply.colourCount > 0) {
    QList<QRgb> colours(reply.colourCount);
    std::memcpy(colours.data(), static_cast<const char*>(memory) + rows, colours.size() * sizeof(QRgb));
    image.setColorTable(colours);
  }
  return image;
}

}  // namespace

DecodedRaster DecoderWorkers::decode(const ReadableFile& file, QSize box, ColourTarget target,
                                     const BackgroundWork* work, Priority priority) {
  if (work && work->cancelled()) raise(errors::InvalidPicture);
  if (const InProcessDecoder decoder = settings().inProcess) return decoder(file, box, target, work);
  std::unique_ptr<Worker> worker = takeWorker(priority);
  if (!worker) raise(errors::InvalidPicture);
  int timeLimit;
  {
    const std::lock_guard lock(settings().mutex);
    timeLimit = settings().timeLimitMilliseconds;
  }
  worker->control->cancelled.store(0);
  wire::Request request{};
  request.kind = wire::Kind::Decode;
  request.target = static_cast<std::uint32_t>(target);
  request.boxWidth = box.isValid() ? box.width() : 0;
  request.boxHeight = box.isValid() ? box.height() : 0;
  request.device = file.state().device;
  request.inode = file.state().inode;
  request.size = file.state().size;
  request.modifiedNanoseconds = file.state().modifiedNanoseconds;
  wire::Reply reply{};
  int pixels = -1;
  // A worker that fails is ended with its picture; the next one starts anew.
  if (!sendRequest(worker->channel, request, {file.descriptor()}) ||
      !worker->awaitReply(reply, pixels, work, timeLimit)) {
    if (pixels >= 0) ::close(pixels);
    raise(errors::InvalidPicture);
  }
  const auto closePixels = qScopeGuard([&] {
    if (pixels >= 0) ::close(pixels);
  });
  if (reply.status == wire::Status::Failed) {
    keepWorker(std::move(worker), priority);
    raise(reply.error == errors::OutOfMemory ? errors::OutOfMemory : errors::InvalidPicture);
  }
  QImage image = reply.status == wire::Status::Ready && pixels >= 0 ? mappedPicture(reply, pixels) : QImage();
  const auto sideOk = [](std::int32_t side) { return side > 0 && side <= wire::NaturalSideLimit; };
  if (image.isNull() || !sideOk(reply.naturalWidth) || !sideOk(reply.naturalHeight)) raise(errors::InvalidPicture);
  keepWorker(std::move(worker), priority);
  if (work && work->cancelled()) raise(errors::InvalidPicture);
  return {QSize(reply.naturalWidth, reply.naturalHeight), std::move(image), reply.reduced != 0};
}

void DecoderWorkers::setDisplayProfile(const QByteArray& profile) {
  const std::lock_guard lock(settings().mutex);
  settings().displayProfile = profile.size() <= wire::ProfileLimit ? profile : QByteArray();
  settings().idle.clear();  // made for the old one
  settings().idleLow.clear();
}

bool DecoderWorkers::displayHasOwnProfile() {
  const std::lock_guard lock(settings().mutex);
  return !settings().displayProfile.isEmpty();
}

void DecoderWorkers::startInBackground() {
  platform::startInBackground([](const BackgroundWork&) {
    for (size_t i = 0; i < KeptWorkers; ++i)
      if (auto worker = Worker::start()) keepWorker(std::move(worker), Priority::Normal);
    if (auto worker = Worker::start(Priority::Low)) keepWorker(std::move(worker), Priority::Low);
  });
}

QString DecoderWorkers::program() {
  const std::lock_guard lock(settings().mutex);
  return settings().program.isEmpty() ? helperProgram(WorkerName) : settings().program;
}

void DecoderWorkers::setProgram(const QString& program) {
  const std::lock_guard lock(settings().mutex);
  settings().program = program;
  settings().idle.clear();
  settings().idleLow.clear();
}

void DecoderWorkers::decodeInThisProcess(InProcessDecoder decoder) { settings().inProcess = decoder; }

void DecoderWorkers::setTimeLimit(int milliseconds) {
  const std::lock_guard lock(settings().mutex);
  settings().timeLimitMilliseconds = milliseconds;
}

DecoderWorkers::ForbiddenCall DecoderWorkers::tryForbiddenCall(int which) {
  ForbiddenCall outcome;
  std::unique_ptr<Worker> worker = Worker::start();
  if (!worker) return outcome;
  // A picture first: the worker is locked once it answers.
  wire::Request nothing{};
  nothing.kind = wire::Kind::Decode;
  wire::Reply reply{};
  int pixels = -1;
  if (!sendRequest(worker->channel, nothing, {}) || !worker->awaitReply(reply, pixels, nullptr, 15'000)) return outcome;
  if (pixels >= 0) ::close(pixels);
  QFile status(QStringLiteral("/proc/%1/status").arg(worker->process));
  if (status.open(QIODevice::ReadOnly)) outcome.statusBefore = status.readAll();
  wire::Request request{};
  request.kind = wire::Kind::TryForbidden;
  request.forbidden = static_cast<std::uint32_t>(which);
  if (!sendRequest(worker->channel, request, {})) return outcome;
  // A worker that lives through it answers; one that does not is ended.
  if (worker->awaitReply(reply, pixels, nullptr, 15'000)) {
    if (pixels >= 0) ::close(pixels);
    return outcome;
  }
  const QDeadlineTimer deadline(5'000);
  int ended = 0;
  while (!deadline.hasExpired()) {
    const pid_t waited = ::waitpid(worker->process, &ended, WNOHANG);
    if (waited == worker->process) {
      worker->process = -1;
      outcome.signal = WIFSIGNALED(ended) ? WTERMSIG(ended) : 0;
      break;
    }
    ::usleep(10'000);
  }
  return outcome;
}

}  // namespace platform
