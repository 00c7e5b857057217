#include "browser/FORM_Tavlo.h"
#include "startup/MODULE_Public.h"
#include "support/FreshProgram.h"

#include <QTest>

using platform::DefaultInstance;

namespace {

class PreviewPane : public FreshProgram {
 protected:
  FORM_Tavlo& openBrowser() {
    FORM_Tavlo& browser = DefaultInstance<FORM_Tavlo>::get();
    browser.show();
    return browser;
  }

  void choose(FORM_Tavlo& browser, const QString& name) {
    for (int row = 0; row < browser.File1.listCount(); ++row)
      if (browser.File1.list(row) == name) {
        browser.File1.setListIndex(row);
        return;
      }
    FAIL() << "no row " << name.toStdString();
  }
};

struct FitCase {
  int width, height;
  float left, top, fittedWidth, fittedHeight;
  bool stretched;
  const char* label;
};

TEST_F(PreviewPane, FitsAndCentresPicturesAsInTheWorkedExample) {
  const FitCase cases[] = {
      {1000, 500, 6240, 1487, 1635, 821, true, "1000 x 500 pixels"},
      {100, 60, 6277.5f, 1417.5f, 1560, 960, false, "100 x 60 pixels"},
      {200, 300, 6509, 1080, 1097, 1635, true, "200 x 300 pixels"},
  };
  for (const FitCase& c : cases) {
    const QString name = QStringLiteral("p%1x%2.bmp").arg(c.width).arg(c.height);
    writePicture(name, c.width, c.height);
  }
  FORM_Tavlo& browser = openBrowser();
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.label);
    choose(browser, QStringLiteral("p%1x%2.bmp").arg(c.width).arg(c.height));
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.left(), c.left);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.top(), c.top);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.width(), c.fittedWidth);
    EXPECT_FLOAT_EQ(browser.IMAGE_Preview.height(), c.fittedHeight);
    EXPECT_EQ(browser.IMAGE_Preview.stretch(), c.stretched);
    EXPECT_EQ(browser.LABEL_PixSize.caption(), QString::fromLatin1(c.label));
    EXPECT_NE(browser.IMAGE_Preview.picture().handle(), 0u);
    EXPECT_FALSE(browser.LABEL_NotImage.visible());
  }
}

}  // namespace
