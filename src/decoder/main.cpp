// The decoder worker: decodes the picture files the program hands it (see
// platform/pictures/DecoderProtocol.h), in a process of its own that locks
// itself down before it reads the first request. Picture decoders are the
// most attacked code on a desktop; here a fault in one, or a file built to
// take one over, ends or holds only this worker, which can reach nothing
// but the files it was handed and its socket.

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/Confinement.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/ColourProfiles.h"
#include "platform/pictures/DecoderProtocol.h"
#include "platform/pictures/DescriptorMessages.h"
#include "platform/pictures/NewerFormats.h"
#include "platform/pictures/RasterDecoding.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QThread>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define TAVLO_SANITIZED_WORKER 1
#endif
#endif

namespace {

namespace protocol = platform::decoder_protocol;
using platform::ColourTarget;

// The request and the descriptors that came with it (-1 where none did).
struct Received {
  protocol::Request request{};
  std::array<int, platform::MostDescriptors> descriptors{-1, -1};
};

bool receive(Received& into) {
  return platform::receiveMessage(STDIN_FILENO, &into.request, sizeof into.request, into.descriptors);
}

bool answer(const protocol::Reply& reply, int descriptor = -1) {
  if (descriptor < 0) return platform::sendMessage(STDOUT_FILENO, &reply, sizeof reply, {});
  return platform::sendMessage(STDOUT_FILENO, &reply, sizeof reply, {descriptor});
}

bool answerFailed(int error) {
  protocol::Reply reply{};
  reply.status = protocol::Status::Failed;
  reply.error = error;
  return answer(reply);
}

// The decoding stops at its next check once the program asks it to.
class RequestedWork final : public platform::BackgroundWork {
 public:
  explicit RequestedWork(const protocol::ControlPage* control) : control_(control) {}
  bool cancelled() const override { return control_ && control_->cancelled.load() != 0; }

 private:
  const protocol::ControlPage* control_;
};

// Large pictures are decoded straight into memory files, which are handed
// back as they are; the files made so, by the address of their memory.
constexpr qsizetype HandedAsTheyAreFrom = 4 << 20;
struct MemoryFile {
  int file;
  size_t size;
};
std::mutex memoryFilesMutex;
std::map<const uchar*, MemoryFile> memoryFiles;

QImage pictureInAMemoryFile(QSize size, QImage::Format format, bool pagesMadeAhead) {
  const qint64 bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
  const qint64 bytesPerLine = (qint64{size.width()} * bitsPerPixel + 31) / 32 * 4;
  const qint64 bytes = bytesPerLine * size.height();
  if (size.isEmpty() || bytes < HandedAsTheyAreFrom) return {};
  const int file = ::memfd_create("picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (file < 0) return {};
  void* memory = ::ftruncate(file, bytes) == 0
                     ? ::mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0)
                     : MAP_FAILED;
  if (memory == MAP_FAILED) {
    ::close(file);
    return {};
  }
  {
    const std::lock_guard lock(memoryFilesMutex);
    memoryFiles[static_cast<const uchar*>(memory)] = {file, static_cast<size_t>(bytes)};
  }
  // Shared memory costs a page fault for each of its hundred thousand pages
  // as the decoder first writes them; they are made ahead of it on another
  // core instead. (Given up at once where the memory is gone meanwhile.)
  if (!pagesMadeAhead)
    std::thread([memory, bytes] {
      constexpr qint64 Chunk = 4 << 20;
      for (qint64 at = 0; at < bytes; at += Chunk)
        if (::madvise(static_cast<char*>(memory) + at, static_cast<size_t>(std::min(Chunk, bytes - at)),
                      MADV_POPULATE_WRITE) != 0)
          return;
    }).detach();
  return QImage(
      static_cast<uchar*>(memory), size.width(), size.height(), static_cast<qsizetype>(bytesPerLine), format,
      [](void* mapped) {
        const std::lock_guard lock(memoryFilesMutex);
        const auto found = memoryFiles.find(static_cast<const uchar*>(mapped));
        if (found == memoryFiles.end()) return;
        ::munmap(mapped, found->second.size);
        ::close(found->second.file);
        memoryFiles.erase(found);
      },
      memory);
}

bool sealed(int file) {
  return ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
}

// The memory file the picture was decoded into, taken from it: the picture
// is given up (its memory unmapped), the file sealed. -1 where it was not.
int takeMemoryFile(QImage& image) {
  int file = -1;
  {
    const std::lock_guard lock(memoryFilesMutex);
    const auto found = memoryFiles.find(image.constBits());
    if (found != memoryFiles.end() && image.colorCount() == 0 &&
        static_cast<size_t>(image.sizeInBytes()) == found->second.size)
      file = ::fcntl(found->second.file, F_DUPFD_CLOEXEC, 0);
  }
  if (file < 0) return -1;
  image = QImage();  // unmapped: a file mapped for writing cannot be sealed
  if (sealed(file)) return file;
  ::close(file);
  return -1;
}

// The pixels in a sealed memory file: the rows, then any colour table;
// copied, unless they were decoded into one.
int pixelsFile(QImage& image) {
  if (const int file = takeMemoryFile(image); file >= 0) return file;
  const qsizetype rows = image.sizeInBytes();
  const qsizetype colours = image.colorCount() * qsizetype{sizeof(QRgb)};
  const int file = ::memfd_create("picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (file < 0) return -1;
  bool written = ::ftruncate(file, rows + colours) == 0;
  if (written) {
    void* memory = ::mmap(nullptr, static_cast<size_t>(rows + colours), PROT_WRITE, MAP_SHARED, file, 0);
    written = memory != MAP_FAILED;
    if (written) {
      std::memcpy(memory, image.constBits(), static_cast<size_t>(rows));
      if (colours > 0) std::memcpy(static_cast<char*>(memory) + rows, image.colorTable().constData(), colours);
      ::munmap(memory, static_cast<size_t>(rows + colours));
    }
  }
  if (written && sealed(file)) return file;
  ::close(file);
  return -1;
}

bool decode(const Received& received, const protocol::ControlPage* control) {
  const protocol::Request& request = received.request;
  if (received.descriptors[1] >= 0) ::close(received.descriptors[1]);
  if (received.descriptors[0] < 0) return answerFailed(platform::errors::InvalidPicture);
  const platform::FileState state{request.device, request.inode, request.size, request.modifiedNanoseconds};
  const platform::ReadableFile file(received.descriptors[0], state);
  const RequestedWork work(control);
  platform::DecodedRaster decoded;
  const auto error = platform::runCatchingErrors([&] {
    const QSize box =
        request.boxWidth > 0 && request.boxHeight > 0 ? QSize(request.boxWidth, request.boxHeight) : QSize();
    decoded = platform::decodeRaster(file, box, static_cast<ColourTarget>(request.target), &work);
  });
  if (error) return answerFailed(error->number());
  const QImage& pixels = decoded.pixels;
  const protocol::Reply reply{protocol::Status::Ready,
                              0,
                              decoded.natural.width(),
                              decoded.natural.height(),
                              pixels.width(),
                              pixels.height(),
                              static_cast<std::int32_t>(pixels.bytesPerLine()),
                              static_cast<std::int32_t>(pixels.format()),
                              static_cast<std::int32_t>(pixels.colorCount()),
                              decoded.reduced ? 1u : 0u};
  const int memory = pixelsFile(decoded.pixels);
  if (memory < 0) return answerFailed(platform::errors::OutOfMemory);
  const bool sent = answer(reply, memory);
  ::close(memory);
  return sent;
}

// The control page, and the display's profile, which colours are converted to.
const protocol::ControlPage* setUp(const Received& received) {
  void* page = received.descriptors[0] < 0
                   ? MAP_FAILED
                   : ::mmap(nullptr, sizeof(protocol::ControlPage), PROT_READ, MAP_SHARED, received.descriptors[0], 0);
  const std::int64_t profileSize = received.request.size;
  if (received.descriptors[1] >= 0 && profileSize > 0 && profileSize <= protocol::ProfileLimit) {
    QByteArray profile(static_cast<qsizetype>(profileSize), Qt::Uninitialized);
    if (::pread(received.descriptors[1], profile.data(), static_cast<size_t>(profileSize), 0) == profileSize)
      platform::setDisplayProfile(profile);
  }
  for (const int descriptor : received.descriptors)
    if (descriptor >= 0) ::close(descriptor);
  return page == MAP_FAILED ? nullptr : static_cast<const protocol::ControlPage*>(page);
}

// For the tests of the lock: a call a decoder taken over would try.
void tryForbidden(std::uint32_t which) {
  if (which == 0) ::syscall(SYS_openat, AT_FDCWD, "/etc/passwd", O_RDONLY);
  if (which == 1) ::syscall(SYS_socket, AF_INET, SOCK_STREAM, 0);
  if (which == 2) ::syscall(SYS_execve, "/bin/true", nullptr, nullptr);
  if (which == 3) {
    // As decoders' threads do: each allocates and frees (a memory arena of
    // its own, memory handed back); and the local time asked, as LibRaw does.
    std::vector<std::thread> threads;
    for (int t = 0; t < 24; ++t)
      threads.emplace_back([] {
        std::vector<void*> blocks(64);
        for (void*& block : blocks) block = std::malloc(64 * 1024);
        for (void* block : blocks) std::free(block);
      });
    for (std::thread& thread : threads) thread.join();
    const std::time_t now = std::time(nullptr);
    if (std::localtime(&now)) answerFailed(0);
  }
}

// Every decoder is loaded before the lock: loading opens files.
void loadEveryDecoder() {
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});  // nobody reads them
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    QBuffer nothing;
    QImageReader reader(&nothing, format);
    reader.canRead();
  }
  // The thread pools, whose size glibc and Qt read from /sys and /proc.
  QThreadPool::globalInstance()->maxThreadCount();
  platform::prepareColourConversion();
  platform::prepareHeifDecoding();
  platform::prepareRawDecoding();
  platform::setPictureAllocator(pictureInAMemoryFile);
}

// Built with the sanitizers, a worker's reports go to the file its options
// name, opened now: once locked, the sanitizer could not open it.
void openSanitizerReport() {
#ifdef TAVLO_SANITIZED_WORKER
  const QByteArray options = qgetenv("ASAN_OPTIONS");
  const qsizetype at = options.indexOf("log_path=");
  if (at < 0) return;
  const QByteArray path = options.mid(at + 9).split(':').front() + '.' + QByteArray::number(::getpid());
  const int report = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (report >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(report)));
#endif
}

}  // namespace

int main() {
  openSanitizerReport();
  loadEveryDecoder();
  if (!platform::lockDown()) return 1;
  const protocol::ControlPage* control = nullptr;
  Received received;
  while (receive(received)) {
    switch (received.request.kind) {
      case protocol::Kind::Setup:
        control = setUp(received);
        break;
      case protocol::Kind::Decode:
        if (!decode(received, control)) ::_exit(1);
        break;
      case protocol::Kind::TryForbidden:
        tryForbidden(received.request.forbidden);
        break;
    }
    received = Received{};
  }
  // Ended without the exit handlers, which may ask what the lock forbids.
  ::_exit(0);
}
