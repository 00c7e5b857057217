// The preview pane of the browser: the chosen file's picture fitted into the
// preview box, its size in pixels and in bytes, or the notice. Each read of
// the file runs off the window's thread; the steps after it run when it is
// done, unless a newer preview or clearing superseded this one meanwhile.

#include "browser/FORM_Tavlo.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/Conversions.h"
#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

using namespace platform;

void FORM_Tavlo::supersedePreview() {
  // The hourglass of a preview that will not finish goes.
  if (previewing_.supersede()) Screen::setMousePointer(Screen::DefaultPointer);
  prefetchPause_.stop();
  prefetching_.supersede();
}

// The preview box in device pixels: pictures are decoded no larger than it shows them.
QSize FORM_Tavlo::previewBox() const {
  return IMAGE_Preview.insideDevicePixels(static_cast<float>(PreviewBoxSize), static_cast<float>(PreviewBoxSize));
}

void FORM_Tavlo::prefetchNeighbours() {
  const int row = File1.listIndex();
  if (row < 0 || row != previewedRow_) return;
  QStringList paths;
  for (const int step : {travel_, -travel_, 2 * travel_})
    if (row + step >= 0 && row + step < File1.listCount())
      paths.append(MODULE_Public::CurrentPath + File1.list(row + step));
  prefetching_.run(
      [paths, box = previewBox()](const BackgroundWork& work) {
        for (const QString& path : paths)
          if (!work.cancelled()) Picture::prefetchFitting(path, box, &work);
      },
      [](Background<void>&) {});
}

// Every step of the preview has the one failure handling: the notice.
template <class Step>
void FORM_Tavlo::previewStep(Step step) {
  withErrorHandler(step, [this](const RuntimeError&) { previewFailed(); });
}

void FORM_Tavlo::ShowPreview() {
  supersedePreview();
  previewStep([&] {
    Screen::setMousePointer(Screen::Hourglass);
    const int row = File1.listIndex();
    if (previewedRow_ >= 0 && row != previewedRow_) travel_ = row > previewedRow_ ? 1 : -1;
    previewedRow_ = row;
    const QString path = MODULE_Public::CurrentPath + File1.list(row);
    const QSize box = previewBox();
    previewing_.run([path](const BackgroundWork&) { return FileLen(path); },
                    [this, path, box](Background<std::int64_t>& length) {
                      previewStep([&] { previewMeasured(path, box, length.take()); });
                    });
  });
}

// The size shows at once, before a large picture is decoded.
void FORM_Tavlo::previewMeasured(const QString& path, QSize box, std::int64_t length) {
  LABEL_FileSize.setCaption(formatGroupedNumber(length) + QStringLiteral(" bytes"));
  LABEL_FileSize.refresh();
  previewing_.run(
      [path, box](const BackgroundWork& work) { return Picture::loadFitting(ReadableFile(path), box, &work); },
      [this](Background<Picture>& loaded) { previewStep([&] { previewLoaded(loaded.take()); }); });
}

void FORM_Tavlo::previewLoaded(Picture picture) {
  IMAGE_Preview.setVisible(false);
  IMAGE_Preview.setStretch(false);
  IMAGE_Preview.setPicture(std::move(picture));
  DoEvents();

  // Measured at the natural size, border included.
  const std::int32_t pixelWidth = toInt32(IMAGE_Preview.width() / Screen::twipsPerPixelX());
  const std::int32_t pixelHeight = toInt32(IMAGE_Preview.height() / Screen::twipsPerPixelY());

  // Fit a picture larger than the box, keeping its proportions.
  const double boxSize = PreviewBoxSize;
  const double width = IMAGE_Preview.width();
  const double height = IMAGE_Preview.height();
  if (width <= boxSize && height <= boxSize) {
    // Small enough: shown at its own size.
  } else if (width > height) {
    IMAGE_Preview.setHeight(static_cast<float>(toInt32(height * boxSize / width)));
    IMAGE_Preview.setWidth(static_cast<float>(boxSize));
    IMAGE_Preview.setStretch(true);
  } else {
    IMAGE_Preview.setWidth(static_cast<float>(toInt32(width * boxSize / height)));
    IMAGE_Preview.setHeight(static_cast<float>(boxSize));
    IMAGE_Preview.setStretch(true);
  }

  // Centre it in the box.
  if (IMAGE_Preview.width() < boxSize)
    IMAGE_Preview.setLeft(static_cast<float>((boxSize - IMAGE_Preview.width()) / 2 + PreviewBoxLeft));
  else
    IMAGE_Preview.setLeft(static_cast<float>(PreviewBoxLeft));
  if (IMAGE_Preview.height() < boxSize)
    IMAGE_Preview.setTop(static_cast<float>((boxSize - IMAGE_Preview.height()) / 2 + PreviewBoxTop));
  else
    IMAGE_Preview.setTop(static_cast<float>(PreviewBoxTop));

  // Its first drawing at the fitted size is made off the window's thread too.
  previewing_.run([picture = IMAGE_Preview.picture(), size = IMAGE_Preview.pictureDevicePixels()](
                      const BackgroundWork& work) { picture.prepareDrawing(size, &work); },
                  [this, pixelWidth, pixelHeight](Background<void>& drawn) {
                    previewStep([&] {
                      drawn.take();
                      previewDrawn(pixelWidth, pixelHeight);
                    });
                  });
}

void FORM_Tavlo::previewDrawn(std::int32_t pixelWidth, std::int32_t pixelHeight) {
  // The border is two pixels on each side; the label shows the picture's own size.
  const int border = 2 * ImageControl::BorderPixels;
  LABEL_PixSize.setCaption(QString::number(pixelWidth - border) + QStringLiteral(" x ") +
                           QString::number(pixelHeight - border) + QStringLiteral(" pixels"));
  LABEL_NotImage.setVisible(false);
  IMAGE_Preview.setVisible(true);
  Screen::setMousePointer(Screen::DefaultPointer);
  if (PrefetchPauseMilliseconds) prefetchPause_.start(*PrefetchPauseMilliseconds);
}

void FORM_Tavlo::previewFailed() {
  IMAGE_Preview.setPicture(Picture());
  DoEvents();
  IMAGE_Preview.move(static_cast<float>(PreviewBoxLeft), static_cast<float>(PreviewBoxTop),
                     static_cast<float>(PreviewBoxSize), static_cast<float>(PreviewBoxSize));
  LABEL_NotImage.setVisible(true);
  IMAGE_Preview.setVisible(true);
  LABEL_PixSize.setCaption(QStringLiteral("0 x 0 pixels"));
  Screen::setMousePointer(Screen::DefaultPointer);
}

void FORM_Tavlo::ClearPreview() {
  supersedePreview();
  previewedRow_ = -1;
  IMAGE_Preview.setPicture(Picture());
  DoEvents();
  IMAGE_Preview.move(static_cast<float>(PreviewBoxLeft), static_cast<float>(PreviewBoxTop),
                     static_cast<float>(PreviewBoxSize), static_cast<float>(PreviewBoxSize));
  LABEL_NotImage.setVisible(false);
  IMAGE_Preview.setVisible(true);
  LABEL_PixSize.setCaption(QString());
  LABEL_FileSize.setCaption(QString());
}
