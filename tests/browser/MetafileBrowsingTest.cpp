// Windows metafiles in the browser and the viewer: previewed, opened at full
// size and zoomed like any picture, drawn afresh at each size.
#include "browser/BrowserDriver.h"
#include "platform/pictures/Picture.h"
#include "support/DrawnEmf.h"
#include "support/MetafileBytes.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QTest>
#include <QTimer>

namespace {

using platform::DefaultInstance;

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb White = 0xFFFFFFFF;
constexpr int MetafileFilter = 5;  // "*.wmf;*.emf"

class MetafileBrowsing : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    // 100 by 50 mm, red over the second quarter across and down.
    using Shape = EmfShape::Kind;
    const QByteArray drawn = drawnEmf(QRect(0, 0, 10000, 5000), {{Shape::Rectangle, QRect(0, 0, 320, 160), White},
                                                                 {Shape::Rectangle, QRect(80, 40, 80, 40), Red}});
    writeFile("drawn.emf", drawn);
    writeFile("described.emf", withDescriptionAfterFixedHeader(drawn));
    writeFile("plain.wmf", WmfBuilder()
                               .windowExtent(400, 200)
                               .filled(QRect(0, 0, 400, 200), White)
                               .filled(QRect(100, 50, 100, 50), Red)
                               .plain());
    writeFile("damaged.emf", emfFile(QRect(0, 0, 10, 10), QRect(0, 0, 100, 100)).chopped(4));
    writePicture("photo.jpg", 30, 20);
  }

  FORM_Tavlo& browserOnMetafiles() {
    FORM_Tavlo& browser = openBrowser();
    chooseFilter(browser, MetafileFilter);
    return browser;
  }

  // The colour at a fraction of the way across and down a widget as shown.
  static QRgb shownAt(QWidget* widget, const QRect& inside, double x, double y) {
    const QImage shown = widget->grab().toImage();
    return shown.pixel(inside.left() + static_cast<int>(x * inside.width()),
                       inside.top() + static_cast<int>(y * inside.height())) | 0xFF000000;
  }
};

TEST_F(MetafileBrowsing, TheFilterListsThemAndThePreviewShowsThemWithTheirSize) {
  FORM_Tavlo& browser = browserOnMetafiles();
  EXPECT_EQ(rows(browser), (QStringList{"damaged.emf", "described.emf", "drawn.emf", "plain.wmf"}));

  const struct {
    const char* row;
    const char* pixelSize;
  } shown[] = {
      {"drawn.emf", "378 x 189 pixels"}, {"described.emf", "378 x 189 pixels"}, {"plain.wmf", "400 x 200 pixels"}};
  for (const auto& s : shown) {
    SCOPED_TRACE(s.row);
    clickRow(browser, s.row);
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QString::fromLatin1(s.pixelSize));
    EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(pathOf(s.row)));
    QWidget* preview = browser.IMAGE_Preview.widget();
    const QRect inside = preview->rect().adjusted(2, 2, -2, -2);  // within the border
    EXPECT_EQ(shownAt(preview, inside, 0.375, 0.375), Red);
    EXPECT_EQ(shownAt(preview, inside, 0.6, 0.375), White);
    EXPECT_EQ(shownAt(preview, inside, 0.375, 0.7), White);
  }

  clickRow(browser, "damaged.emf");
  EXPECT_TRUE(browser.LABEL_NotImage.visible());
  EXPECT_EQ(browser.IMAGE_Preview.picture().handle(), 0u);
}

TEST_F(MetafileBrowsing, FullSizeOpensTheViewerAtTheNaturalSizeAndZoomDrawsItAfresh) {
  FORM_Tavlo& browser = browserOnMetafiles();
  clickRow(browser, "drawn.emf");
  const float naturalWidth = browser.IMAGE_Preview.picture().width();

  float shownWidth = 0;
  QRgb quarterColour = 0;
  int blendedPixels = -1;
  onceShown(shownViewer, [&] {
    FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
    shownWidth = viewer.IMAGE_MiniPreview.width();
    QWidget* image = viewer.IMAGE_MiniPreview.widget();
    for (int click = 0; click < 3; ++click) QTest::mouseClick(image, Qt::RightButton, {}, QPoint(3, 3));
    // Eight times larger: a row across the rectangle, as the viewer paints it.
    const QImage zoomed = image->grab().toImage();
    const int row = zoomed.height() * 3 / 8;
    quarterColour = zoomed.pixel(zoomed.width() * 3 / 8, row) | 0xFF000000;
    blendedPixels = 0;
    for (int x = 0; x < zoomed.width(); ++x) {
      const QRgb pixel = zoomed.pixel(x, row);
      if (qRed(pixel) == 255 && qGreen(pixel) > 20 && qGreen(pixel) < 235) ++blendedPixels;
    }
    viewer.unload();
  });
  browser.ShowFullSize();

  EXPECT_FLOAT_EQ(shownWidth, naturalWidth);
  EXPECT_NEAR(naturalWidth, 100 / 25.4 * 1440, 0.5);
  EXPECT_EQ(quarterColour, Red);
  EXPECT_LE(blendedPixels, 2) << "edges drawn afresh, not enlarged pixels";
}

}  // namespace
