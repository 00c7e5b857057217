// The preview pane: pictures fitted and centred with their sizes, metafiles
// drawn afresh at every size, files that are no picture, and a burst of keys.

#include "browser/BrowserDriver.h"
#include "platform/pictures/DecoderWorkers.h"
#include "support/DrawnEmf.h"
#include "support/FileKinds.h"

#include <QDir>
#include <QKeyEvent>

#include <tuple>
#include <vector>

using platform::Screen::mousePointer;

namespace {

using PreviewPane = BrowserTest;

// The box is 1635 twips, 109 pixels; the border adds 4 pixels to a picture.
TEST_F(PreviewPane, FitsAndCentresPicturesAsInTheWorkedExample) {
  const std::tuple<QSize, QRectF, bool> cases[] = {
      // the picture, where it shows, stretched
      {{1000, 500}, {6240, 1487, 1635, 821}, true},
      {{200, 300}, {6509, 1080, 1097, 1635}, true},
      {{100, 60}, {6277.5, 1417.5, 1560, 960}, false},  // smaller both ways: own size, centred
      // As wide, or as high, as the box with the border: not scaled.
      {{105, 50}, {6240, 1492.5, 1635, 810}, false},
      {{50, 105}, {6652.5, 1080, 810, 1635}, false},
  };
  const auto nameOf = [](QSize size) { return QStringLiteral("p%1x%2.bmp").arg(size.width()).arg(size.height()); };
  for (const auto& [size, shown, stretched] : cases) writePicture(nameOf(size), size.width(), size.height());
  FORM_Tavlo& browser = openBrowser();
  for (const auto& [size, shown, stretched] : cases) {
    SCOPED_TRACE(nameOf(size).toStdString());
    clickRow(browser, nameOf(size));
    const platform::ImageControl& image = browser.IMAGE_Preview;
    EXPECT_EQ(QRectF(image.left(), image.top(), image.width(), image.height()), shown);
    EXPECT_EQ(image.stretch(), stretched);
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QStringLiteral("%1 x %2 pixels").arg(size.width()).arg(size.height()));
    EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(pathOf(nameOf(size))));
  }
}

// An EMF of 100 by 50 mm, red over the second quarter across and down: the
// preview draws it at the fitted size; the right button (not the left) opens
// the viewer at its own size, drawing each zoom afresh with sharp edges, and
// closing it returns to the browser.
TEST_F(PreviewPane, AMetafileIsDrawnAfreshAtEverySize) {
  constexpr QRgb Red = 0xFFFF0000, White = 0xFFFFFFFF;
  writeFile("drawn.emf", drawnEmf(QRect(0, 0, 10000, 5000), {{EmfShape::Kind::Rectangle, QRect(0, 0, 320, 160), White},
                                                             {EmfShape::Kind::Rectangle, QRect(80, 40, 80, 40), Red}}));
  FORM_Tavlo& browser = browserOn("drawn.emf", 5);  // "*.wmf;*.emf"
  EXPECT_EQ(browser.LABEL_PixSize.caption(), "378 x 189 pixels");
  const QImage preview = browser.IMAGE_Preview.widget()->grab().toImage();
  const auto shownAt = [&](double x, double y) {  // a fraction of the way across and down, inside the border
    return preview.pixel(2 + static_cast<int>(x * (preview.width() - 4)),
                         2 + static_cast<int>(y * (preview.height() - 4)));
  };
  EXPECT_EQ(shownAt(0.375, 0.375) | 0xFF000000, Red);
  EXPECT_EQ(shownAt(0.6, 0.375) | 0xFF000000, White);
  EXPECT_EQ(shownAt(0.375, 0.7) | 0xFF000000, White);

  QTest::mouseClick(browser.IMAGE_Preview.widget(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(shownViewer(), nullptr) << "not by the left button";
  float shownWidth = 0;
  QImage zoomed;
  onceShown(shownViewer, [&] {
    FORM_MiniTavlo& viewer = platform::DefaultInstance<FORM_MiniTavlo>::get();
    shownWidth = viewer.IMAGE_MiniPreview.width();
    for (int click = 0; click < 3; ++click) QTest::mouseClick(viewer.IMAGE_MiniPreview.widget(), Qt::RightButton);
    // Eight times larger, as the viewer paints it once the tiles its first
    // paint lacked are drawn.
    const QImage first = viewer.IMAGE_MiniPreview.widget()->grab().toImage();
    EXPECT_EQ(first.pixel(first.width() * 3 / 8, first.height() * 3 / 8) | 0xFF000000, White) << "not drawn yet";
    settle();
    zoomed = viewer.IMAGE_MiniPreview.widget()->grab().toImage();
    viewer.unload();
  });
  QTest::mouseClick(browser.IMAGE_Preview.widget(), Qt::RightButton, {}, QPoint(3, 3));
  EXPECT_NEAR(shownWidth, 100 / 25.4 * 1440, 0.5);
  EXPECT_TRUE(seams.processExit->exits.empty()) << "closing the viewer ends no program";
  const int row = zoomed.height() * 3 / 8;
  int blendedPixels = 0;
  for (int x = 0; x < zoomed.width(); ++x) {
    const QRgb pixel = zoomed.pixel(x, row);
    blendedPixels += qRed(pixel) == 255 && qGreen(pixel) > 20 && qGreen(pixel) < 235;
  }
  EXPECT_EQ(zoomed.pixel(zoomed.width() * 3 / 8, row) | 0xFF000000, Red);
  EXPECT_LE(blendedPixels, 2) << "edges drawn afresh, not enlarged pixels";
}

// Files that are no picture, or stop being one after the list was filled:
// each ends in the notice, without a message box and without hanging. The
// size is measured first; every failure after it, whatever the loader
// raises (PictureLoad, MetafileHeader), ends in the same notice.
TEST_F(PreviewPane, AFileThatIsNoPictureEndsInTheNoticeWithoutAMessage) {
  const std::pair<const char*, QByteArray> cases[] = {
      {"text.jpg", "Some words, and no picture.\n"},
      {"gone.jpg", "deleted before it is clicked: the previous size stays"},
      {"pipe.jpg", "replaced by a FIFO"},
      {"long.jpg", "no picture, its length more than 32 bits can hold"},
  };
  for (const auto& [name, bytes] : cases) writeFile(name, bytes);
  writePicture(QStringLiteral("good.bmp"), 300, 100);
  FORM_Tavlo& browser = openBrowser();
  // After the listing:
  ASSERT_TRUE(QFile::remove(pathOf("gone.jpg")));
  ASSERT_TRUE(QFile::remove(pathOf("pipe.jpg")) && makeFifo(pathOf("pipe.jpg")));
  ASSERT_TRUE(QFile(pathOf("long.jpg")).resize(3000000000));  // sparse, so that it takes no room

  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    clickRow(browser, QStringLiteral("good.bmp"));
    const QString previous = browser.LABEL_FileSize.caption();
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
    clickRow(browser, name);
    expectEmptyPreview(browser, true);
    EXPECT_EQ(browser.LABEL_FileSize.caption(), QFile::exists(pathOf(name)) ? bytesText(pathOf(name)) : previous);
  }
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

// At each paint of the file-size label or the image: whether it was the
// image, the label's text, the picture the image held and the pointer.
struct PaintLog : QObject {
  using Paint = std::tuple<bool, QString, std::uint64_t, int>;
  explicit PaintLog(FORM_Tavlo& shown) : browser(shown) {
    for (QWidget* widget : {browser.LABEL_FileSize.widget(), browser.IMAGE_Preview.widget()})
      widget->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      paints.push_back({watched == browser.IMAGE_Preview.widget(), browser.LABEL_FileSize.caption(),
                        browser.IMAGE_Preview.picture().handle(), mousePointer()});
    return false;
  }
  FORM_Tavlo& browser;
  std::vector<Paint> paints;
};

// Open files of the process.
int openFiles() { return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).count()); }

// Holding Down: the keys come faster than the pictures decode and queue up.
// Each newer row supersedes the preview in progress, its size shown under
// the hourglass before its picture is decoded; at rest the last row is
// highlighted, current and previewed, and no superseded picture ever showed.
// Each key's handler returns before the next runs (none runs inside
// another, however many keys wait), and superseded previews keep no file open.
TEST_F(PreviewPane, ABurstOfKeysEndsOnTheLastRowWithNoSupersededPictureShown) {
  QStringList names;
  for (int i = 0; i < 10; ++i) names.append(writePicture(QStringLiteral("p0%1.jpg").arg(i), 1600, 1200));
  names.append(writePicture(QStringLiteral("p10.png"), 900, 700));
  names.append(writeFile(QStringLiteral("p11.emf"), drawnEmf(QRect(0, 0, 10000, 5000), {})));
  names.append(writePicture(QStringLiteral("p12.jpg"), 1200, 300));
  FORM_Tavlo& browser = browserOn(QStringLiteral("p00.jpg"), 6);
  const std::uint64_t before = browser.IMAGE_Preview.picture().handle();
  const int last = static_cast<int>(names.size()) - 1;

  PaintLog log(browser);
  int depth = 0, deepest = 0, mostFiles = 0;
  const int filesBefore = openFiles();
  const platform::Event click = browser.File1.Click;
  browser.File1.Click = [&] {
    deepest = std::max(deepest, ++depth);
    mostFiles = std::max(mostFiles, openFiles());
    click();
    --depth;
  };
  for (int key = 0; key < last; ++key) {
    QCoreApplication::postEvent(browser.File1.listWidget(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    QCoreApplication::postEvent(browser.File1.listWidget(),
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return browser.LABEL_PixSize.caption() == QStringLiteral("1200 x 300 pixels"); }));
  QCoreApplication::processEvents();

  // The last row's size in pixels shows: it is previewed, and current.
  EXPECT_EQ(deepest, 1);
  EXPECT_LE(mostFiles - filesBefore, 4);
  for (int row = 0; row <= last; ++row) EXPECT_EQ(browser.File1.selected(row), row == last) << row;
  EXPECT_EQ(browser.LABEL_FileSize.caption(), bytesText(names.back()));
  const std::uint64_t after = browser.IMAGE_Preview.picture().handle();
  EXPECT_TRUE(browser.IMAGE_Preview.visible());
  EXPECT_EQ(mousePointer(), platform::Screen::DefaultPointer);
  bool sizeFirst = false;
  for (const auto& [image, fileSize, picture, pointer] : log.paints) {
    EXPECT_TRUE(!image || picture == before || picture == after) << picture;
    sizeFirst = sizeFirst || (!image && fileSize == bytesText(names.back()) && picture != after &&
                              pointer == platform::Screen::Hourglass);
  }
  EXPECT_TRUE(sizeFirst) << "the size shows under the hourglass before the picture";
}

// A moment after a preview shows, the rows around it are decoded ahead: with
// the decoders gone, those rows still show, while a row never fetched, and
// a fetched file that changed since, find no decoder.
TEST_F(PreviewPane, APauseFetchesTheNeighbouringPreviewsAheadAsTheFilesAreNow) {
  const QStringList names = {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp", "f.bmp"};
  for (int i = 0; i < names.size(); ++i) writePicture(names[i], 300 + i, 200);
  FORM_Tavlo& browser = browserOn(QStringLiteral("c.bmp"));
  QTest::qWait(*FORM_Tavlo::PrefetchPauseMilliseconds * 2);
  settle();
  platform::DecoderWorkers::setProgram(QStringLiteral("/nonexistent/tavlo-decoder"));
  writePicture(QStringLiteral("e.bmp"), 30, 20);  // changed since it was fetched
  for (const auto& [name, shows] :
       {std::pair{"d.bmp", true}, std::pair{"b.bmp", true}, std::pair{"e.bmp", false}, std::pair{"a.bmp", false}}) {
    clickRow(browser, QString::fromLatin1(name));
    EXPECT_EQ(browser.LABEL_NotImage.visible(), !shows) << name;
  }
  platform::DecoderWorkers::setProgram({});
}

// One picture of every kind the browser reads, previewed: each is decoded
// in a decoder worker (or the metafile helper), and this process has loaded
// no decoder of pictures or metafiles. (Each test runs in a process of its
// own; the files are copied, as Qt loads every image plugin to write one.)
TEST_F(PreviewPane, EveryKindOfPictureIsDecodedOutsideTheBrowser) {
  if (!qEnvironmentVariableIsSet("TAVLO_TEST_AS_PROGRAM"))
    GTEST_SKIP() << "needs Qt's plugins seen as the program sees them: the test BrowserLoadsNoDecoder runs it so";
  const QStringList files = {QStringLiteral("pillow_hopper.jpg"),
                             QStringLiteral("pillow_transparent.gif"),
                             QStringLiteral("bmpsuite_g_pal8.bmp"),
                             QStringLiteral("libgdiplus_test.ico"),
                             QStringLiteral("pillow_deerstalker.cur"),
                             QStringLiteral("made_gradient.tif"),
                             QStringLiteral("made_gradient.webp"),
                             QStringLiteral("made_logo_adobergb_icc.heic"),
                             QStringLiteral("libavif_abc_color_irot_alpha_irot.avif"),
                             QStringLiteral("jxlconf_animation_spline.jxl"),
                             QStringLiteral("oiio_bayer.dng"),
                             QStringLiteral("metafiles/libgdiplus_test.wmf"),
                             QStringLiteral("metafiles/libgdiplus_test.emf")};
  for (const QString& file : files)
    ASSERT_TRUE(QFile::copy(testData(file), pathOf(QFileInfo(file).fileName()))) << file.toStdString();
  FORM_Tavlo& browser = openBrowser();
  chooseFilter(browser, 6);  // every file
  browser.File1.refresh();
  settle();
  for (const QString& name : rows(browser)) {
    SCOPED_TRACE(name.toStdString());
    clickRow(browser, name);
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
    EXPECT_TRUE(browser.LABEL_PixSize.caption().endsWith(QStringLiteral(" pixels")));
  }
  QFile maps(QStringLiteral("/proc/self/maps"));
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  const QByteArray mapped = maps.readAll();
  for (const char* decoder : {"libqjpeg", "libqgif",  "libqico", "libqtiff", "libqwebp", "libqicns", "libqtga",
                              "libqwbmp", "libqmng",  "libjpeg", "libtiff",  "libwebp",  "libwmf",   "libemf2svg",
                              "librsvg",  "liblcms2", "libheif", "libde265", "libdav1d", "libaom",   "libjxl", "libraw"})
    EXPECT_FALSE(mapped.contains(decoder)) << decoder << " is mapped in the browser";
}

}  // namespace
