// The preview pane of the browser: the chosen file's picture fitted into the
// preview box, its size in pixels and in bytes, or the notice.

#include "browser/FORM_Tavlo.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/Conversions.h"
#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"
#include "startup/MODULE_Public.h"

#include <memory>
#include <optional>

using namespace platform;

std::uint64_t FORM_Tavlo::supersedePreview() {
  if (previewWork_) previewWork_->cancel();
  previewWork_.reset();
  return ++previewRequest_;
}

// Runs a step of the preview off the window's thread and waits for it, the
// window repainting and taking input meanwhile. Nothing when a newer preview
// or clearing superseded this one meanwhile; else the step's result, or its
// error raised.
template <class Body>
auto FORM_Tavlo::previewStep(std::uint64_t request, Body body) {
  const auto work = startInBackground(std::move(body));
  previewWork_ = work;
  DoEventsUntil([&] { return work->finished() || request != previewRequest_; });
  using Result = decltype(work->take());
  if (request != previewRequest_) return std::optional<Result>();
  return std::optional<Result>(work->take());
}

void FORM_Tavlo::ShowPreview() {
  const std::uint64_t request = supersedePreview();
  const auto superseded = [&] { return request != previewRequest_; };
  // What a superseded preview leaves: only the pointer, to the default.
  const auto giveWay = [] { Screen::setMousePointer(Screen::DefaultPointer); };
  withErrorHandler(
      [&] {
        Screen::setMousePointer(Screen::Hourglass);
        const QString path = MODULE_Public::CurrentPath + File1.list(File1.listIndex());

        // The size shows at once, before a large picture is decoded.
        LABEL_FileSize.setCaption(formatGroupedNumber(FileLen(path)) + QStringLiteral(" bytes"));
        LABEL_FileSize.refresh();

        // Opened here, decoded off the window's thread, no larger than the box shows it.
        const auto file = std::make_shared<const ReadableFile>(path);
        const QSize box = IMAGE_Preview.insideDevicePixels(static_cast<float>(PreviewBoxSize),
                                                           static_cast<float>(PreviewBoxSize));
        const auto picture = previewStep(
            request, [file, box](const BackgroundWork& work) { return Picture::loadFitting(*file, box, &work); });
        if (!picture) return giveWay();

        IMAGE_Preview.setVisible(false);
        IMAGE_Preview.setStretch(false);
        IMAGE_Preview.setPicture(*picture);
        DoEvents();
        if (superseded()) return giveWay();

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
        const bool drawn = previewStep(request, [picture = *picture, size = IMAGE_Preview.pictureDevicePixels()](
                                                    const BackgroundWork& work) {
                                picture.prepareDrawing(size, &work);
                                return true;
                              })
                               .has_value();
        if (!drawn) return giveWay();

        // The border is two pixels on each side; the label shows the picture's own size.
        const int border = 2 * ImageControl::BorderPixels;
        LABEL_PixSize.setCaption(QString::number(pixelWidth - border) + QStringLiteral(" x ") +
                                 QString::number(pixelHeight - border) + QStringLiteral(" pixels"));
        LABEL_NotImage.setVisible(false);
        IMAGE_Preview.setVisible(true);
        Screen::setMousePointer(Screen::DefaultPointer);
      },
      [&](const RuntimeError&) {
        if (superseded()) return giveWay();
        IMAGE_Preview.setPicture(Picture());
        DoEvents();
        if (superseded()) return giveWay();
        IMAGE_Preview.move(static_cast<float>(PreviewBoxLeft), static_cast<float>(PreviewBoxTop),
                           static_cast<float>(PreviewBoxSize), static_cast<float>(PreviewBoxSize));
        LABEL_NotImage.setVisible(true);
        IMAGE_Preview.setVisible(true);
        LABEL_PixSize.setCaption(QStringLiteral("0 x 0 pixels"));
        Screen::setMousePointer(Screen::DefaultPointer);
      });
}

void FORM_Tavlo::ClearPreview() {
  // Clearing supersedes a preview in progress; a preview begun meanwhile
  // supersedes the clearing.
  const std::uint64_t request = supersedePreview();
  IMAGE_Preview.setPicture(Picture());
  DoEvents();
  if (request != previewRequest_) return;
  IMAGE_Preview.move(static_cast<float>(PreviewBoxLeft), static_cast<float>(PreviewBoxTop),
                     static_cast<float>(PreviewBoxSize), static_cast<float>(PreviewBoxSize));
  LABEL_NotImage.setVisible(false);
  IMAGE_Preview.setVisible(true);
  LABEL_PixSize.setCaption(QString());
  LABEL_FileSize.setCaption(QString());
}
