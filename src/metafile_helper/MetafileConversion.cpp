#include "metafile_helper/MetafileConversion.h"

#include "platform/pictures/LittleEndian.h"
#include "platform/pictures/MetafileHeader.h"

#include <emf2svg.h>
#include <uemf_safe.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace metafile {

using platform::LittleEndianReader;
using platform::MetafileHeader;

namespace {

// The text of the document's root element: the picture's frame as viewBox,
// stretched to fill the rendering rectangle.
QByteArray rootElement(QSizeF extent, QRectF frame) {
  const auto number = [](double value) { return QByteArray::number(value, 'g', 10); };
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
         number(extent.width()) + "\" height=\"" + number(extent.height()) + "\" viewBox=\"" + number(frame.x()) + ' ' +
         number(frame.y()) + ' ' + number(frame.width()) + ' ' + number(frame.height()) +
         "\" preserveAspectRatio=\"none\">";
}

// Replaces everything up to and including the converter's own root start tag.
QByteArray withRoot(const QByteArray& svg, const QByteArray& root) {
  qsizetype start = svg.indexOf("<svg");
  while (start >= 0 && start + 4 < svg.size() && !QChar::isSpace(static_cast<uchar>(svg[start + 4])) &&
         svg[start + 4] != '>')
    start = svg.indexOf("<svg", start + 4);
  if (start < 0) return {};
  const qsizetype end = svg.indexOf('>', start);
  if (end < 0) return {};
  return root + svg.mid(end + 1);
}

// Windows-1252 for the bytes 0x80 to 0x9F; the rest of the high half is Latin-1.
char32_t fromWindows1252(unsigned char byte) {
  static constexpr char32_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                        0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  return byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : byte;
}

// Text from a WMF as XML character data: markup characters escaped, control
// characters dropped, the 8-bit Windows characters turned into UTF-8.
void appendAsCharacterData(QByteArray& out, QByteArrayView text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '&')
      out += "&amp;";
    else if (byte == '<')
      out += "&lt;";
    else if (byte == '>')
      out += "&gt;";
    else if (byte < 0x20)
      out += ' ';
    else if (byte < 0x80)
      out += c;
    else {
      const char32_t code = fromWindows1252(byte);
      out += QString::fromUcs4(&code, 1).toUtf8();
    }
  }
}

// Outside text, the WMF converter writes plain ASCII markup; any other byte
// there (a font name from the file, say) is replaced.
void appendAsMarkup(QByteArray& out, QByteArrayView markup) {
  for (const char c : markup) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte >= 0x80 || (byte < 0x20 && byte != '\n' && byte != '\t' && byte != '\r')) ? '_' : c;
  }
}

// The WMF converter copies the bytes of a text record between <text ...> and
// </text> unescaped and in the file's 8-bit code page; make them well-formed.
QByteArray withWellFormedText(const QByteArray& svg) {
  QByteArray out;
  out.reserve(svg.size() + svg.size() / 8);
  qsizetype at = 0;
  while (at < svg.size()) {
    const qsizetype open = svg.indexOf("<text", at);
    const qsizetype startEnd = open < 0 ? -1 : svg.indexOf('>', open);
    const qsizetype close = startEnd < 0 ? -1 : svg.indexOf("</text>", startEnd);
    if (close < 0) {
      appendAsMarkup(out, QByteArrayView(svg).sliced(at));
      break;
    }
    appendAsMarkup(out, QByteArrayView(svg).sliced(at, startEnd + 1 - at));
    appendAsCharacterData(out, QByteArrayView(svg).sliced(startEnd + 1, close - startEnd - 1));
    at = close;
  }
  return out;
}

QByteArray closingRecord(MetafileHeader::Kind kind) {
  // EMF: type 14, 20 bytes, no palette (offset 16), its own size again.
  static const char emf[] = "\x0e\0\0\0\x14\0\0\0\0\0\0\0\x10\0\0\0\x14\0\0\0";
  // WMF: 3 words, function 0.
  static const char wmf[] = "\x03\0\0\0\0\0";
  return kind == MetafileHeader::Kind::Emf ? QByteArray(emf, 20) : QByteArray(wmf, 6);
}

// Calls visit(at, bytes) for each record of a WMF whose chain the header
// reader has checked, while it returns true; gives whether all were visited.
template <class Visit>
bool everyWmfRecord(const QByteArray& wmf, qsizetype headerAt, Visit visit) {
  constexpr qsizetype HeaderBytes = 18;
  const LittleEndianReader data(wmf);
  for (qsizetype at = headerAt + HeaderBytes; at + 6 <= wmf.size();) {
    const qsizetype bytes = static_cast<qsizetype>(data.u32(at)) * 2;
    if (bytes < 6) break;
    if (!visit(at, bytes)) return false;
    at += bytes;
  }
  return true;
}

// libwmf allocates as much as the header says the largest record and the
// file take before reading any record; make the header say what the records
// really take.
QByteArray withTruthfulWmfHeader(QByteArray wmf, qsizetype headerAt) {
  std::uint32_t largest = 0;
  everyWmfRecord(wmf, headerAt, [&](qsizetype, qsizetype bytes) {
    largest = std::max(largest, static_cast<std::uint32_t>(bytes / 2));
    return true;
  });
  qToLittleEndian(static_cast<std::uint32_t>((wmf.size() - headerAt) / 2), wmf.data() + headerAt + 6);
  qToLittleEndian(largest, wmf.data() + headerAt + 12);
  return wmf;
}

// libwmf decodes a record's bitmap whole, pixel by pixel, trusting its
// header: a forged size, or a header of no known length, costs minutes, and
// a forged colour count gigabytes. Such bitmaps are refused.
constexpr qint64 WmfBitmapPixelsLimit = 64'000'000;
constexpr std::uint32_t WmfColourTableLimit = 65'536;

// Where a record's bitmap starts, by record function; 0 for records
// without one.
qsizetype bitmapOffset(std::uint16_t function) {
  switch (function) {
    case 0x0940:
      return 22;  // DIBBITBLT
    case 0x0B41:
      return 26;  // DIBSTRETCHBLT
    case 0x0F43:
      return 28;  // STRETCHDIB
    case 0x0D33:
      return 24;  // SETDIBTODEV
    case 0x0142:
      return 10;  // DIBCREATEPATTERNBRUSH
    default:
      return 0;
  }
}

bool bitmapsFit(const QByteArray& wmf, qsizetype headerAt) {
  const LittleEndianReader data(wmf);
  return everyWmfRecord(wmf, headerAt, [&](qsizetype at, qsizetype bytes) {
    const qsizetype bitmap = at + bitmapOffset(data.u16(at + 4));
    if (bitmap > at && bitmap + 12 <= at + bytes) {
      const std::uint32_t headerBytes = data.u32(bitmap);
      const bool core = headerBytes == 12;  // the old header: 16-bit sides
      if (!core && headerBytes != 40 && headerBytes != 52 && headerBytes != 56 && headerBytes != 108 &&
          headerBytes != 124)
        return false;
      std::int32_t width = 0, height = 0;
      if (core) {
        width = data.i16(bitmap + 4);
        height = data.i16(bitmap + 6);
      } else {
        width = data.i32(bitmap + 4);
        height = data.i32(bitmap + 8);
        // A colour table of more entries than 16-bit indices reach.
        if (bitmap + 36 > at + bytes || data.u32(bitmap + 32) > WmfColourTableLimit) return false;
      }
      const qint64 pixels = std::abs(static_cast<qint64>(width)) * std::abs(static_cast<qint64>(height));
      if (pixels > WmfBitmapPixelsLimit) return false;
    }
    return true;
  });
}

struct WmfApiDeleter {
  void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

// libwmf draws in its own device units; its SVG device maps the bounding box
// of the drawing onto the document. That box is the picture, as libwmf's own
// converters take it: a WMF's window need not say where its drawing is.
QByteArray convertWmf(const QByteArray& bytes, const MetafileHeader& header) {
  wmfAPI_Options options{};
  options.function = wmf_svg_function;
  wmfAPI* created = nullptr;
  constexpr unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_api_create(&created, flags, &options) != wmf_E_None) {
    if (created) wmf_api_destroy(created);
    return {};
  }
  const std::unique_ptr<wmfAPI, WmfApiDeleter> api(created);

  constexpr qsizetype PlaceableHeaderBytes = 22;
  const qsizetype headerAt = header.kind == MetafileHeader::Kind::PlaceableWmf ? PlaceableHeaderBytes : 0;
  if (!bitmapsFit(bytes, headerAt)) return {};
  QByteArray input = withTruthfulWmfHeader(bytes, headerAt);
  if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(input.data()), input.size()) != wmf_E_None) return {};
  wmfD_Rect box{};
  if (wmf_scan(api.get(), 0, &box) != wmf_E_None) return {};
  const double width = box.BR.x - box.TL.x, height = box.BR.y - box.TL.y;
  if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height)) return {};

  // Draw at about a thousand units on the longer side, whatever libwmf's
  // units are, so that coordinates keep their precision.
  const double scale = 1000.0 / std::max(width, height);
  const auto units = [&](double length) {
    return static_cast<unsigned int>(std::max(1.0, std::round(length * scale)));
  };
  wmf_svg_t* device = WMF_SVG_GetData(api.get());
  device->bbox = box;
  device->width = units(width);
  device->height = units(height);
  device->flags |= WMF_SVG_INLINE_IMAGES;
  device->out = wmf_stream_create(api.get(), nullptr);
  if (!device->out) return {};
  const bool played = wmf_play(api.get(), 0, &box) == wmf_E_None;
  char* text = nullptr;
  unsigned long length = 0;
  wmf_stream_destroy(api.get(), device->out, &text, &length);
  device->out = nullptr;
  const QByteArray svg = played && text ? QByteArray(text, static_cast<qsizetype>(length)) : QByteArray();
  if (text) wmf_free(api.get(), text);
  if (svg.isEmpty()) return {};

  const QRectF frame(0, 0, device->width, device->height);
  return withRoot(withWellFormedText(svg), rootElement(QSizeF(width, height), frame));
}

// The EMF converter trusts each record to be as long as its kind needs;
// libuemf checks that, record by record.
bool everyRecordIsWhole(const QByteArray& records) {
  const LittleEndianReader data(records);
  qsizetype at = 0;
  while (at + 8 <= records.size()) {
    const std::uint32_t size = data.u32(at + 4);
    if (size < 8 || !U_emf_record_safe(records.constData() + at)) return false;
    at += size;
  }
  return true;
}

QByteArray convertEmf(const QByteArray& bytes, const MetafileHeader& header) {
  if (!everyRecordIsWhole(bytes)) return {};
  QByteArray input = bytes;  // the library takes a mutable buffer
  char nameSpace[] = "";
  generatorOptions options{};
  options.nameSpace = nameSpace;
  options.verbose = false;
  options.emfplus = true;
  options.svgDelimiter = true;
  char* text = nullptr;
  size_t length = 0;
  const int converted = emf2svg(input.data(), static_cast<size_t>(input.size()), &text, &length, &options);
  const QByteArray svg = converted && text ? QByteArray(text, static_cast<qsizetype>(length)) : QByteArray();
  std::free(text);
  if (svg.isEmpty()) return {};
  return withRoot(svg, rootElement(header.emfFrame.size(), header.emfFrame));
}

}  // namespace

QByteArray convertToSvg(const QByteArray& metafile) {
  const auto header = platform::readMetafileHeader(metafile);
  if (!header) return {};
  // The libraries read records without checking that each lies inside the
  // data; the header reader has checked the chain, so give them just that,
  // ended by a closing record.
  QByteArray records = metafile.left(header->recordsEnd);
  if (!header->closed) records += closingRecord(header->kind);
  const QByteArray svg =
      header->kind == MetafileHeader::Kind::Emf ? convertEmf(records, *header) : convertWmf(records, *header);
  // A runaway conversion: more SVG than any real drawing of this size needs.
  constexpr qsizetype SvgFloor = 64 * 1024 * 1024;
  if (svg.size() > std::max(SvgFloor, metafile.size() * 4)) return {};
  return svg;
}

}  // namespace metafile
