#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "support/PictureBytes.h"

#include "support/DrawnEmf.h"

#include <QEvent>
#include <QKeyEvent>
#include <QListView>

#include <cstdint>
#include <vector>

using platform::Screen::mousePointer;

namespace {

using PreviewPane = BrowserTest;

// The box is 1635 twips, 109 pixels; the border adds 4 pixels to a picture.
TEST_F(PreviewPane, FitsAndCentresPicturesAsInTheWorkedExample) {
  const struct {
    int width, height;
    float left, top, fittedWidth, fittedHeight;
    bool stretched;
    const char* label;
  } cases[] = {
      {1000, 500, 6240, 1487, 1635, 821, true, "1000 x 500 pixels"},
      {100, 60, 6277.5f, 1417.5f, 1560, 960, false, "100 x 60 pixels"},
      {200, 300, 6509, 1080, 1097, 1635, true, "200 x 300 pixels"},
      // Smaller both ways: own size, centred.
      {40, 30, 6727.5f, 1642.5f, 660, 510, false, "40 x 30 pixels"},
      // As wide as the box with its border: not scaled, at the box's left.
      {105, 50, 6240, 1492.5f, 1635, 810, false, "105 x 50 pixels"},
      {50, 105, 6652.5f, 1080, 810, 1635, false, "50 x 105 pixels"},
      // Square and larger: the height branch fills the box exactly.
      {200, 200, 6240, 1080, 1635, 1635, true, "200 x 200 pixels"},
      // The label never counts the border.
      {1, 1, 7020, 1860, 75, 75, false, "1 x 1 pixels"},
  };
  const auto nameOf = [](const auto& c) { return QStringLiteral("p%1x%2.bmp").arg(c.width).arg(c.height); };
  for (const auto& c : cases) writePicture(nameOf(c), c.width, c.height);
  FORM_Tavlo& browser = openBrowser();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    clickRow(browser, nameOf(c));
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.left(), c.left);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.top(), c.top);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.width(), c.fittedWidth);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.height(), c.fittedHeight);
    EXPECT_EQ(browser.IMAGE_Preview.stretch(), c.stretched);
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QString::fromLatin1(c.label));
    EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(pathOf(nameOf(c))));
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    EXPECT_TRUE(browser.IMAGE_Preview.visible());
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
    EXPECT_EQ(mousePointer(), platform::Screen::DefaultPointer);
  }
}

TEST_F(PreviewPane, ShowsBitmapsWithAnAlphaMaskInTheirHeader) {
  // A 56-byte header, as photo editors write it: opaque blue, and a
  // transparent pixel bottom right that shows what lies behind.
  QByteArray masks, pixels;
  for (const std::uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) appendLittle32(masks, mask);
  for (const std::uint32_t pixel : {0xFF0000FFu, 0u, 0xFF0000FFu, 0xFF0000FFu}) appendLittle32(pixels, pixel);
  writeFile(QStringLiteral("edited.bmp"), bitmapFile(2, 2, 32, 3, pixels, {}, masks));
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, QStringLiteral("edited.bmp"));
  EXPECT_FALSE(browser.LABEL_NotImage.visible());
  EXPECT_EQ(browser.LABEL_PixSize.caption(), QStringLiteral("2 x 2 pixels"));
  const QImage shown = browser.IMAGE_Preview.widget()->grab().toImage();
  EXPECT_EQ(shown.pixel(2, 2), 0xFF0000FFu);  // inside the border
  EXPECT_EQ(shown.pixel(3, 3), browser.grab().toImage().pixel(2, 2));
}

// What the file-size label looked like, and what the image showed, at each
// of the label's paints.
class PaintRecorder : public QObject {
 public:
  struct Paint {
    QString text;
    std::uint64_t shownPicture;
    bool imageVisible;
    int pointer;
  };

  explicit PaintRecorder(FORM_Tavlo& browser) : browser_(browser) {
    browser.LABEL_FileSize.widget()->installEventFilter(this);
  }
  ~PaintRecorder() override {
    if (browser_.LABEL_FileSize.widget()) browser_.LABEL_FileSize.widget()->removeEventFilter(this);
  }

  std::vector<Paint> paints;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      paints.push_back({browser_.LABEL_FileSize.caption(), browser_.IMAGE_Preview.picture().handle(),
                        browser_.IMAGE_Preview.visible(), mousePointer()});
    return QObject::eventFilter(watched, event);
  }

 private:
  FORM_Tavlo& browser_;
};

TEST_F(PreviewPane, ShowsTheFileSizeBeforeDecodingThePicture) {
  writePicture(QStringLiteral("a.bmp"), 300, 200);
  const QString second = writePicture(QStringLiteral("b.bmp"), 50, 40);
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, QStringLiteral("a.bmp"));
  const std::uint64_t first = browser.IMAGE_Preview.picture().handle();
  ASSERT_NE(first, 0u);
  ASSERT_NE(browser.LABEL_FileSize.caption(), bytesText(second));

  PaintRecorder recorder(browser);
  clickRow(browser, QStringLiteral("b.bmp"));
  ASSERT_NE(browser.IMAGE_Preview.picture().handle(), first);

  // The new size was on screen while the old picture still was, hourglass on.
  bool paintedEarly = false;
  for (const PaintRecorder::Paint& paint : recorder.paints)
    paintedEarly = paintedEarly || (paint.text == bytesText(second) && paint.shownPicture == first &&
                                    paint.imageVisible && paint.pointer == platform::Screen::Hourglass);
  EXPECT_TRUE(paintedEarly) << recorder.paints.size() << " paints";
}

TEST_F(PreviewPane, ArrowKeysPreviewEachFileInTurn) {
  writePicture(QStringLiteral("a.bmp"), 10, 10);
  writePicture(QStringLiteral("b.jpg"), 20, 10);
  writePicture(QStringLiteral("c.bmp"), 30, 10);
  FORM_Tavlo& browser = openBrowser();
  clickRow(browser, QStringLiteral("a.bmp"));
  const struct {
    Qt::Key key;
    const char *name, *pixels;
  } steps[] = {
      {Qt::Key_Down, "b.jpg", "20 x 10 pixels"},
      {Qt::Key_Down, "c.bmp", "30 x 10 pixels"},
      {Qt::Key_Up, "b.jpg", "20 x 10 pixels"},
      {Qt::Key_Home, "a.bmp", "10 x 10 pixels"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    pressKeyInFileList(browser, step.key);
    EXPECT_EQ(browser.File1.list(browser.File1.listIndex()), QString::fromLatin1(step.name));
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QString::fromLatin1(step.pixels));
    EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(pathOf(QString::fromLatin1(step.name))));
  }
}

// The handles of the pictures the preview image showed at its paints.
class PreviewPaints : public QObject {
 public:
  explicit PreviewPaints(FORM_Tavlo& browser) : browser_(browser) {
    browser.IMAGE_Preview.widget()->installEventFilter(this);
  }
  std::vector<std::uint64_t> shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) shown.push_back(browser_.IMAGE_Preview.picture().handle());
    return QObject::eventFilter(watched, event);
  }

 private:
  FORM_Tavlo& browser_;
};

// Holding Down: the keys come faster than the pictures decode and queue up.
// Each newer row supersedes the preview in progress; at rest the last row is
// highlighted, current and previewed, and no superseded picture ever showed.
TEST_F(PreviewPane, ABurstOfKeysEndsOnTheLastRowWithNoSupersededPictureShown) {
  QStringList names;
  for (int i = 0; i < 10; ++i) names.append(writePicture(QStringLiteral("p0%1.jpg").arg(i), 1600, 1200));
  names.append(writePicture(QStringLiteral("p10.png"), 900, 700));
  names.append(writeFile(QStringLiteral("p11.emf"), drawnEmf(QRect(0, 0, 10000, 5000), {})));
  names.append(writePicture(QStringLiteral("p12.jpg"), 1200, 300));
  FORM_Tavlo& browser = openBrowser();
  chooseFilter(browser, 6);
  clickRow(browser, QStringLiteral("p00.jpg"));
  const std::uint64_t before = browser.IMAGE_Preview.picture().handle();
  const int last = static_cast<int>(names.size()) - 1;

  PreviewPaints paints(browser);
  QListView* list = browser.File1.listWidget();
  for (int key = 0; key < last; ++key) {
    QCoreApplication::postEvent(list, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    QCoreApplication::postEvent(list, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return browser.LABEL_PixSize.caption() == QStringLiteral("1200 x 300 pixels"); }));
  QCoreApplication::processEvents();

  EXPECT_EQ(browser.File1.listIndex(), last);
  for (int row = 0; row <= last; ++row) EXPECT_EQ(browser.File1.selected(row), row == last) << row;
  EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(names.back()));
  const std::uint64_t after = browser.IMAGE_Preview.picture().handle();
  EXPECT_NE(after, 0u);
  EXPECT_TRUE(browser.IMAGE_Preview.visible());
  EXPECT_EQ(mousePointer(), platform::Screen::DefaultPointer);
  for (const std::uint64_t shown : paints.shown) EXPECT_TRUE(shown == before || shown == after) << shown;
}

}  // namespace
