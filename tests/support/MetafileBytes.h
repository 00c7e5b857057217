#pragma once

// Windows metafiles put together record by record, for pictures of known
// shapes and for headers that no writer makes.

#include "support/PictureBytes.h"

#include <QByteArray>
#include <QRect>
#include <QRgb>
#include <QtEndian>

#include <initializer_list>

// A WMF: records added in order; the objects it creates take the lowest free
// index of the object table, 0 first.
class WmfBuilder {
 public:
  WmfBuilder& record(std::uint16_t function, std::initializer_list<int> words) {
    QByteArray parameters;
    for (const int word : words) appendLittle16(parameters, static_cast<std::uint32_t>(word) & 0xFFFF);
    return rawRecord(static_cast<std::uint32_t>(3 + words.size()), function, parameters);
  }
  // A record of any declared size in words, with these bytes after its header.
  WmfBuilder& rawRecord(std::uint32_t sizeInWords, std::uint16_t function, const QByteArray& parameters = {}) {
    appendLittle32(records_, sizeInWords);
    appendLittle16(records_, function);
    records_ += parameters;
    return *this;
  }
  WmfBuilder& windowOrigin(int x, int y) { return record(0x020B, {y, x}); }
  WmfBuilder& windowExtent(int x, int y) { return record(0x020C, {y, x}); }
  // A filled rectangle without outline, in its own pen and brush: a null pen,
  // selected, a solid brush, selected, then the rectangle.
  WmfBuilder& filled(const QRect& r, QRgb colour) {
    const int pen = objects_++, brush = objects_++;
    record(0x02FA, {5, 0, 0, 0, 0}).record(0x012D, {pen});
    record(0x02FC, {0, qRed(colour) | (qGreen(colour) << 8), qBlue(colour), 0}).record(0x012D, {brush});
    return record(0x041B, {r.bottom() + 1, r.right() + 1, r.top(), r.left()});
  }
  // The text's length, the text padded to whole words, then y and x.
  WmfBuilder& textOut(int x, int y, const QByteArray& text) {
    QByteArray parameters;
    appendLittle16(parameters, static_cast<std::uint32_t>(text.size()));
    parameters += text + QByteArray(text.size() % 2, '\0');
    for (const int value : {y, x}) appendLittle16(parameters, static_cast<std::uint32_t>(value));
    return rawRecord(static_cast<std::uint32_t>(3 + parameters.size() / 2), 0x0521, parameters);
  }

  // Header, records and the closing record.
  QByteArray plain() const {
    const QByteArray body = WmfBuilder(*this).rawRecord(3, 0).records_;
    QByteArray bytes;
    appendLittle16(bytes, 1);       // on disk
    appendLittle16(bytes, 9);       // header words
    appendLittle16(bytes, 0x0300);  // version
    appendLittle32(bytes, static_cast<std::uint32_t>((18 + body.size()) / 2));
    appendLittle16(bytes, static_cast<std::uint32_t>(objects_));
    appendLittle32(bytes, 64);  // largest record, in words
    appendLittle16(bytes, 0);
    return bytes + body;
  }
  // With the placeable header before it: bounding box and units per inch.
  QByteArray placeable(const QRect& box, int unitsPerInch) const {
    QByteArray header;
    appendLittle32(header, 0x9AC6CDD7);
    appendLittle16(header, 0);
    for (const int value : {box.left(), box.top(), box.right() + 1, box.bottom() + 1})
      appendLittle16(header, static_cast<std::uint32_t>(value) & 0xFFFF);
    appendLittle16(header, static_cast<std::uint32_t>(unitsPerInch));
    appendLittle32(header, 0);
    std::uint16_t checksum = 0;  // the ten words before it, exclusive-ored
    for (int i = 0; i < 10; ++i) checksum ^= qFromLittleEndian<std::uint16_t>(header.constData() + 2 * i);
    appendLittle16(header, checksum);
    return header + plain();
  }

 private:
  QByteArray records_;
  int objects_ = 0;
};

// An EMF header record (88 bytes) and the closing record: bounds in device
// units, frame in hundredths of a millimetre, each written as left, top,
// left + width and top + height.
inline QByteArray emfFile(const QRect& bounds, const QRect& frame, QSize devicePixels = {1024, 768},
                          QSize millimetres = {320, 240}, std::uint32_t headerBytes = 88) {
  QByteArray bytes;
  appendLittle32(bytes, 1);
  appendLittle32(bytes, headerBytes);
  for (const QRect& r : {bounds, frame})
    for (const int value : {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()})
      appendLittle32(bytes, static_cast<std::uint32_t>(value));
  // The signature, the version, the file's bytes and records, the handles
  // and reserved, no description (its length and place), no palette.
  for (const std::uint32_t value : {0x464D4520u, 0x10000u, 88u + 20u, 2u, 1u, 0u, 0u, 0u}) appendLittle32(bytes, value);
  for (const int value : {devicePixels.width(), devicePixels.height(), millimetres.width(), millimetres.height()})
    appendLittle32(bytes, static_cast<std::uint32_t>(value));
  // The closing record: type 14, 20 bytes, no palette.
  for (const std::uint32_t value : {14u, 20u, 0u, 16u, 20u}) appendLittle32(bytes, value);
  return bytes;
}

// The EMF with its description moved to just after the header's 88 fixed
// bytes and the header ending with it, as illustration programs write it:
// no room for the header's extensions.
inline QByteArray withDescriptionAfterFixedHeader(const QByteArray& emf) {
  const auto field = [&](int at) { return qFromLittleEndian<std::uint32_t>(emf.constData() + at); };
  QByteArray header = emf.left(88) + emf.mid(field(64), 2 * field(60));
  header.append((4 - header.size() % 4) % 4, '\0');
  const auto size = static_cast<std::uint32_t>(header.size());
  qToLittleEndian(size, header.data() + 4);
  qToLittleEndian(field(48) - field(4) + size, header.data() + 48);  // file bytes
  qToLittleEndian(std::uint32_t{88}, header.data() + 64);
  return header + emf.mid(field(4));
}
