#include "platform/pictures/MetafileHeader.h"

#include "platform/pictures/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace platform {

namespace {

constexpr double TwipsPerInch = 1440.0;
constexpr double TwipsPerHundredthMillimetre = TwipsPerInch / 2540.0;
// The largest side shown: 32,767 pixels at 96 dots an inch.
constexpr double MaximumSideTwips = 32767.0 * TwipsPerWmfUnit;

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t EmfSignature = 0x464D4520;  // " EMF"
constexpr int PlaceableHeaderBytes = 22;
constexpr int WmfHeaderBytes = 18;
constexpr int EmfHeaderBytes = 88;
constexpr std::uint16_t SetWindowExt = 0x020C;
constexpr std::uint32_t EmfClosingRecord = 14;

bool isWmfHeader(const LittleEndianReader& data, qint64 at) {
  if (!data.has(at, WmfHeaderBytes)) return false;
  const std::uint16_t type = data.u16(at);
  const std::uint16_t words = data.u16(at + 2);
  const std::uint16_t version = data.u16(at + 4);
  return (type == 1 || type == 2) && words == WmfHeaderBytes / 2 && (version == 0x0100 || version == 0x0300);
}

// A chain of records, each with its size as 32 bits (at sizeAt, in units of
// sizeUnit bytes), which takes the walk to the next record, until the
// closing record or the end of the data.
struct RecordChain {
  qint64 firstRecord;
  int sizeAt;       // offset of the size field in a record
  int sizeUnit;     // bytes per unit of the size field
  int headerBytes;  // the smallest record
  bool (*isClosing)(const LittleEndianReader&, qint64 at);
};

struct WalkedRecords {
  qint64 end = 0;
  bool closed = false;
  std::optional<QSizeF> firstWindowExtent;  // plain WMF only
};

std::optional<WalkedRecords> walkRecords(const LittleEndianReader& data, qint64 length, const RecordChain& chain,
                                         bool lookForWindowExtent) {
  WalkedRecords walked;
  qint64 at = chain.firstRecord;
  for (int record = 0; at < length; ++record) {
    if (record >= RecordLimit || !data.has(at, chain.headerBytes)) return std::nullopt;
    const qint64 bytes = static_cast<qint64>(data.u32(at + chain.sizeAt)) * chain.sizeUnit;
    if (bytes < chain.headerBytes || !data.has(at, bytes)) return std::nullopt;
    if (lookForWindowExtent && !walked.firstWindowExtent && data.u16(at + 4) == SetWindowExt && bytes >= 10)
      walked.firstWindowExtent = QSizeF(std::abs(data.i16(at + 8)), std::abs(data.i16(at + 6)));
    at += bytes;
    if (chain.isClosing(data, at - bytes)) {
      walked.closed = true;
      break;
    }
  }
  walked.end = at;
  return walked;
}

bool isWmfClosing(const LittleEndianReader& data, qint64 at) { return data.u16(at + 4) == 0; }
bool isEmfClosing(const LittleEndianReader& data, qint64 at) { return data.u32(at) == EmfClosingRecord; }

std::optional<WalkedRecords> walkWmf(const LittleEndianReader& data, qint64 length, qint64 headerAt, bool lookForWindowExtent) {
  return walkRecords(data, length, {headerAt + WmfHeaderBytes, 0, 2, 6, isWmfClosing}, lookForWindowExtent);
}

std::optional<MetafileHeader> readPlaceable(const LittleEndianReader& data, qint64 length) {
  if (!isWmfHeader(data, PlaceableHeaderBytes)) return std::nullopt;
  const auto records = walkWmf(data, length, PlaceableHeaderBytes, false);
  if (!records) return std::nullopt;
  const int left = data.i16(6), top = data.i16(8), right = data.i16(10), bottom = data.i16(12);
  const int unitsPerInch = data.u16(14);
  if (unitsPerInch == 0) return std::nullopt;
  const double scale = TwipsPerInch / unitsPerInch;
  MetafileHeader header;
  header.kind = MetafileHeader::Kind::PlaceableWmf;
  header.recordsEnd = records->end;
  header.closed = records->closed;
  header.twips = QSizeF(std::abs(right - left) * scale, std::abs(bottom - top) * scale);
  if (!isShowableSize(header.twips)) return std::nullopt;
  return header;
}

std::optional<MetafileHeader> readPlainWmf(const LittleEndianReader& data, qint64 length) {
  const auto records = walkWmf(data, length, 0, true);
  if (!records) return std::nullopt;
  MetafileHeader header;
  header.kind = MetafileHeader::Kind::Wmf;
  header.recordsEnd = records->end;
  header.closed = records->closed;
  if (const auto& extent = records->firstWindowExtent; extent && !extent->isEmpty()) {
    header.twips = *extent * TwipsPerWmfUnit;
    if (!isShowableSize(header.twips)) return std::nullopt;
  }
  return header;
}

// The header record is 88 bytes of fixed fields, then what its size leaves:
// the extensions (the pixel format's size and offset and the OpenGL flag at
// 88, the size in micrometres at 100) and the description and pixel format
// they point to. An extension is there only where the header's size and the
// description (which writers often put right at 88) leave room for it. The
// description and the pixel format must lie inside the header.
bool emfHeaderFieldsFit(const LittleEndianReader& data, std::uint32_t headerBytes) {
  constexpr std::uint32_t WithPixelFormat = 100;
  const auto insideHeader = [&](std::uint64_t at, std::uint64_t bytes) {
    return at >= EmfHeaderBytes && at + bytes <= headerBytes;
  };
  std::uint32_t fixedPart = headerBytes;
  // The converter reads a description wherever its offset points, even one
  // of no characters.
  if (const std::uint32_t at = data.u32(64); at != 0) {
    if (!insideHeader(at, 2 * std::uint64_t{data.u32(60)})) return false;
    fixedPart = std::min(fixedPart, at);
  }
  if (fixedPart >= WithPixelFormat) {
    const std::uint32_t bytes = data.u32(88), at = data.u32(92);
    if (bytes != 0 && at != 0 && !insideHeader(at, bytes)) return false;
  }
  return true;
}

std::optional<MetafileHeader> readEmf(const LittleEndianReader& data, qint64 length) {
  if (!data.has(0, EmfHeaderBytes) || data.u32(40) != EmfSignature) return std::nullopt;
  const std::uint32_t headerBytes = data.u32(4);
  if (headerBytes < EmfHeaderBytes || headerBytes > length) return std::nullopt;
  if (!emfHeaderFieldsFit(data, headerBytes)) return std::nullopt;
  const QRectF bounds(QPointF(data.i32(8), data.i32(12)), QPointF(data.i32(16), data.i32(20)));
  const QRectF frame(QPointF(data.i32(24), data.i32(28)), QPointF(data.i32(32), data.i32(36)));
  const double devicePixelsX = data.i32(72), devicePixelsY = data.i32(76);
  const double millimetresX = data.i32(80), millimetresY = data.i32(84);
  if (devicePixelsX <= 0 || devicePixelsY <= 0 || millimetresX <= 0 || millimetresY <= 0) return std::nullopt;
  const auto records = walkRecords(data, length, {0, 4, 1, 8, isEmfClosing}, false);
  if (!records) return std::nullopt;

  // Device units per hundredth of a millimetre.
  const double scaleX = devicePixelsX / (millimetresX * 100.0);
  const double scaleY = devicePixelsY / (millimetresY * 100.0);
  MetafileHeader header;
  header.kind = MetafileHeader::Kind::Emf;
  header.recordsEnd = records->end;
  header.closed = records->closed;
  if (frame.width() > 0 && frame.height() > 0) {
    header.twips = frame.size() * TwipsPerHundredthMillimetre;
    header.emfFrame = QRectF(frame.left() * scaleX - bounds.left(), frame.top() * scaleY - bounds.top(),
                             frame.width() * scaleX, frame.height() * scaleY);
  } else {
    // No usable frame: the bounds of the drawing, in device units, are the picture.
    header.twips = QSizeF(bounds.width() / scaleX, bounds.height() / scaleY) * TwipsPerHundredthMillimetre;
    header.emfFrame = QRectF(QPointF(0, 0), bounds.size());
  }
  if (!isShowableSize(header.twips)) return std::nullopt;
  return header;
}

}  // namespace

bool isShowableSize(QSizeF twips) {
  return twips.width() > 0 && twips.height() > 0 && twips.width() <= MaximumSideTwips &&
         twips.height() <= MaximumSideTwips;
}

bool looksLikeMetafile(const QByteArray& firstBytes) {
  const LittleEndianReader data(firstBytes);
  if (!data.has(0, WmfHeaderBytes)) return false;
  return data.u32(0) == PlaceableKey || (data.has(40, 4) && data.u32(0) == 1 && data.u32(40) == EmfSignature) ||
         isWmfHeader(data, 0);
}

std::optional<MetafileHeader> readMetafileHeader(const QByteArray& bytes) {
  const LittleEndianReader data(bytes);
  if (!data.has(0, WmfHeaderBytes)) return std::nullopt;
  if (data.u32(0) == PlaceableKey) return readPlaceable(data, bytes.size());
  if (data.u32(0) == 1 && data.u32(40) == EmfSignature) return readEmf(data, bytes.size());
  if (isWmfHeader(data, 0)) return readPlainWmf(data, bytes.size());
  return std::nullopt;
}

}  // namespace platform
