#pragma once

#include "platform/pictures/PictureFile.h"

#include <QIODevice>

#include <cstdint>

namespace platform {

class BackgroundWork;
class ReadableFile;

// A picture file as the decoders read it: in place, as far as they need,
// never whole into memory. Once the work it is read for is cancelled, every
// read fails, so that a decoder stops early. It notes whether a decoder asked
// for bytes beyond the file's end, as one does for a picture that ends before
// its data does. A bitmap whose header Qt's reader does not know is read
// with one it knows.
class PictureFileDevice final : public QIODevice {
 public:
  PictureFileDevice(const ReadableFile& file, const BackgroundWork* work);

  bool isSequential() const override { return false; }
  qint64 size() const override;
  bool readPastTheEnd() const { return readPastTheEnd_; }
  // Reads as if from the start again.
  void restart();

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;

 private:
  // Where a position of the device is in the file.
  std::int64_t inFile(qint64 position) const { return position - start_.bytes.size() + start_.replaces; }

  const ReadableFile& file_;
  const BackgroundWork* work_;
  ReplacedStart start_;
  bool readPastTheEnd_ = false;
};

}  // namespace platform
