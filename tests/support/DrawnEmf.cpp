#include <libEMF/emf.h>

#include "support/DrawnEmf.h"

#include <QFile>
#include <QTemporaryDir>

QByteArray drawnEmf(const QRect& frame, const std::vector<EmfShape>& shapes) {
  QTemporaryDir folder;
  const QByteArray path = folder.filePath(QStringLiteral("drawn.emf")).toLocal8Bit();
  const RECT size{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
  // The description is the program and the picture, each ended by a NUL,
  // then a NUL more (the literal's own).
  HDC dc = CreateEnhMetaFileA(0, path.constData(), &size, "Tavlo\0shapes\0");
  SelectObject(dc, GetStockObject(NULL_PEN));
  SetBkMode(dc, TRANSPARENT);
  for (const EmfShape& shape : shapes) {
    const QRect& a = shape.area;
    const COLORREF colour = RGB(qRed(shape.colour), qGreen(shape.colour), qBlue(shape.colour));
    // Each shape in a brush of its colour; text in a font as high as its area.
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ font = CreateFontA(a.height(), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Times");
    HGDIOBJ previousBrush = SelectObject(dc, brush), previousFont = SelectObject(dc, font);
    switch (shape.kind) {
      case EmfShape::Kind::Rectangle:
        Rectangle(dc, a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
        break;
      case EmfShape::Kind::Text:
        SetTextColor(dc, colour);
        TextOutA(dc, a.left(), a.top(), shape.text.constData(), static_cast<int>(shape.text.size()));
        break;
    }
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousFont);
    DeleteObject(brush);
    DeleteObject(font);
  }
  DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  QFile file(QString::fromLocal8Bit(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
