#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

// Which file, and which version of it: the same file that has not changed
// since has the same state.
struct FileState {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  auto operator<=>(const FileState&) const = default;
};

// A regular file (or a link to one) opened for reading. Opening never blocks:
// a FIFO, device, socket or folder fails at once. Failures raise the run
// time's file errors (53 not found, 70 permission denied, 75 not a file, ...).
class ReadableFile {
 public:
  explicit ReadableFile(const QString& path);
  // A file opened elsewhere (handed over by another process) as its opener
  // saw it; the descriptor is closed with this.
  ReadableFile(int descriptor, const FileState& state);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  const QString& path() const { return path_; }
  std::int64_t size() const { return state_.size; }
  const FileState& state() const { return state_; }
  int descriptor() const { return fd_; }
  // Reads the whole file; a file that shrinks meanwhile gives what is there.
  QByteArray readAll() const { return read(state_.size); }
  // Reads at most this many bytes from the start.
  QByteArray read(std::int64_t maximum) const { return readAt(0, maximum); }
  // Reads at most this many bytes from the offset on; fewer at the end.
  QByteArray readAt(std::int64_t offset, std::int64_t maximum) const;
  // The same into a buffer; gives the number of bytes read.
  std::int64_t readAt(std::int64_t offset, char* into, std::int64_t maximum) const;

 private:
  QString path_;
  int fd_ = -1;
  FileState state_;
};

// The length of a file in bytes (FileLen of the run time).
std::int64_t FileLen(const QString& path);

}  // namespace platform
