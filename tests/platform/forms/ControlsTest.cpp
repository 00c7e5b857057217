#include "support/BlankForm.h"

#include "platform/forms/ComboBox.h"
#include "platform/forms/Label.h"

#include <QComboBox>

#include <tuple>

namespace {

using Controls = OnBlankForm;

// At 15 twips a pixel across and 10 down (144 dots an inch down), each axis
// by its own resolution, to the nearest pixel.
TEST_F(Controls, KeepTwipsExactlyAndPlaceTheirWidgetsAtRoundedPixels) {
  seams.screen->dpiY = 144;
  platform::Label label(form, QStringLiteral("Caption"));
  // Twips, then the pixels across and down.
  const std::tuple<float, int, int> cases[] = {{7, 0, 1},           {8, 1, 1},           {1010, 67, 101},
                                               {6277.4f, 418, 628}, {6277.6f, 419, 628}, {-100, -7, -10}};
  for (const auto& [twips, across, down] : cases) {
    SCOPED_TRACE(twips);
    label.setLeft(twips);
    label.setTop(twips);
    label.setWidth(twips);
    label.setHeight(twips);
    EXPECT_EQ(label.left(), twips);
    EXPECT_EQ(label.widget()->geometry(), QRect(across, down, std::max(across, 0), std::max(down, 0)));
  }
}

// A combo box raises Click when its list index changes, not when the name of
// an item is typed; -1 empties its text.
TEST_F(Controls, ComboBoxClicksOnChoicesButNotOnTyping) {
  platform::ComboBox combo(form);
  int clicks = 0;
  combo.Click = [&] { ++clicks; };
  for (const char* item : {"All pictures", "Bitmaps", "JPEG pictures"}) combo.addItem(QString::fromLatin1(item));
  EXPECT_EQ(combo.listIndex(), -1);
  showForm();
  combo.setFocus();
  QTest::keyClicks(combo.comboBox(), QStringLiteral("Bitmaps"));
  QTest::keyClick(combo.comboBox(), Qt::Key_Return);
  EXPECT_EQ(combo.text(), QStringLiteral("Bitmaps"));
  EXPECT_EQ(clicks, 0);
  combo.setListIndex(2);
  combo.setListIndex(2);
  EXPECT_EQ(raisedError([&] { combo.setListIndex(3); }), 380);
  combo.setListIndex(-1);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(combo.text(), QString());
}

}  // namespace
