// Files that are no picture, or stop being one after the list was filled:
// each ends in the notice, without a message box and without hanging.

#include "browser/BrowserDriver.h"
#include "platform/desktop/Screen.h"
#include "support/FileKinds.h"
#include "support/PictureBytes.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include <functional>

namespace {

using PreviewBadInput = BrowserTest;

enum class SizeShown { OfTheFile, Previous };

struct BadFile {
  const char* name;
  QByteArray bytes;
  // What happens to the file once the browser has listed it.
  std::function<void(const QString& path)> afterListing;
  SizeShown size;
};

TEST_F(PreviewBadInput, EndsInTheNoticeWithoutAMessage) {
  PermissionBitsApply permissionBits;
  const QByteArray jpeg = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  // Large enough that its preview reads only the first scans.
  QByteArray progressive;
  QBuffer buffer(&progressive);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPEG");
  writer.setProgressiveScanWrite(true);
  QImage photo(1200, 900, QImage::Format_RGB32);
  photo.fill(Qt::darkYellow);
  ASSERT_TRUE(writer.write(photo));
  std::vector<BadFile> cases = {
      {"text.jpg", "Some words, and no picture.\n", nullptr, SizeShown::OfTheFile},
      {"empty.jpg", QByteArray(), nullptr, SizeShown::OfTheFile},
      {"gone.jpg", "deleted before it is clicked", [](const QString& path) { QFile::remove(path); },
       SizeShown::Previous},
      {"pipe.jpg", "replaced by a FIFO",
       [](const QString& path) { ASSERT_TRUE(QFile::remove(path) && makeFifo(path)); }, SizeShown::OfTheFile},
      {"cut.jpg", jpeg.left(jpeg.size() * 6 / 10), nullptr, SizeShown::OfTheFile},
      {"cut-progressive.jpg", progressive.left(progressive.size() * 9 / 10), nullptr, SizeShown::OfTheFile},
      {"huge.bmp", bitmapFile(60000, 60000, 24, 0, QByteArray(16, '\x7f')), nullptr, SizeShown::OfTheFile},
      {"huge.gif", gifFile(60000, 60000), nullptr, SizeShown::OfTheFile},
      // Sparse, so that it takes no room; its length needs more than 32 bits.
      {"long.jpg", "no picture", [](const QString& path) { ASSERT_TRUE(QFile(path).resize(3000000000)); },
       SizeShown::OfTheFile},
  };
  if (permissionBits.active())
    cases.push_back({"locked.bmp", contentsOf(testData(QStringLiteral("bmpsuite_g_rgb24.bmp"))),
                     [](const QString& path) { ASSERT_TRUE(QFile::setPermissions(path, {})); }, SizeShown::OfTheFile});
  for (const BadFile& c : cases) writeFile(QString::fromLatin1(c.name), c.bytes);
  writePicture(QStringLiteral("good.bmp"), 300, 100);

  FORM_Tavlo& browser = openBrowser();
  for (const BadFile& c : cases)
    if (c.afterListing) c.afterListing(pathOf(QString::fromLatin1(c.name)));
  ASSERT_EQ(bytesText(pathOf(QStringLiteral("long.jpg"))), QStringLiteral("3,000,000,000 bytes"));

  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    clickRow(browser, QStringLiteral("good.bmp"));
    ASSERT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    const QString previous = browser.LABEL_FileSize.caption();

    clickRow(browser, QString::fromLatin1(c.name));
    EXPECT_TRUE(browser.LABEL_NotImage.visible());
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QStringLiteral("0 x 0 pixels"));
    expectEmptyImageOnTheBox(browser);
    EXPECT_EQ(browser.LABEL_FileSize.caption(),
              c.size == SizeShown::Previous ? previous : bytesText(pathOf(QString::fromLatin1(c.name))));
    EXPECT_EQ(platform::Screen::mousePointer(), platform::Screen::DefaultPointer);
  }
  EXPECT_TRUE(seams.messageBox->calls.empty());
}

}  // namespace
