#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cstdint>

namespace platform {

// Numbers at byte offsets of a picture file's bytes, stored little-endian as
// bitmaps and metafiles store them. A number that does not lie wholly inside
// the bytes reads as 0, so a reader of a forged header never reads past them.
class LittleEndianReader {
 public:
  explicit LittleEndianReader(const QByteArray& bytes) : bytes_(bytes) {}

  bool has(qint64 offset, qint64 count) const {
    return offset >= 0 && count >= 0 && offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::uint16_t u16(qint64 offset) const { return read<std::uint16_t>(offset); }
  std::int16_t i16(qint64 offset) const { return read<std::int16_t>(offset); }
  std::uint32_t u32(qint64 offset) const { return read<std::uint32_t>(offset); }
  std::int32_t i32(qint64 offset) const { return read<std::int32_t>(offset); }

 private:
  template <class Number>
  Number read(qint64 offset) const {
    if (!has(offset, sizeof(Number))) return 0;
    return qFromLittleEndian<Number>(bytes_.constData() + offset);
  }

  const QByteArray& bytes_;
};

}  // namespace platform
