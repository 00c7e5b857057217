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
    // A rectangle in a brush of its colour, text in a font as high as its
    // area; the object selected before comes back, and the one made goes.
    if (shape.kind == EmfShape::Kind::Text) {
      HGDIOBJ before = SelectObject(dc, CreateFontA(a.height(), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Times"));
      SetTextColor(dc, colour);
      TextOutA(dc, a.left(), a.top(), shape.text.constData(), static_cast<int>(shape.text.size()));
      DeleteObject(SelectObject(dc, before));
    } else {
      HGDIOBJ before = SelectObject(dc, CreateSolidBrush(colour));
      Rectangle(dc, a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
      DeleteObject(SelectObject(dc, before));
    }
  }
  DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  QFile file(QString::fromLocal8Bit(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
