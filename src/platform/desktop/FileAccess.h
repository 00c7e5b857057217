#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

// A regular file (or a link to one) opened for reading. Opening never blocks:
// a FIFO, device, socket or folder fails at once. Failures raise the run
// time's file errors (53 not found, 70 permission denied, 75 not a file, ...).
class ReadableFile {
 public:
  explicit ReadableFile(const QString& path);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  std::int64_t size() const { return size_; }
  // Reads the whole file; a file that shrinks meanwhile gives what is there.
  QByteArray readAll() { return read(size_); }
  // Reads at most this many bytes from the start.
  QByteArray read(std::int64_t maximum);

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
};

// The length of a file in bytes (FileLen of the run time).
std::int64_t FileLen(const QString& path);

}  // namespace platform
