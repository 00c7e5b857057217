#include "support/BlankForm.h"

#include "platform/desktop/RuntimeError.h"
#include "platform/forms/CheckBox.h"
#include "platform/forms/ComboBox.h"
#include "platform/forms/Label.h"
#include "platform/forms/OptionButtons.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>

#include <vector>

namespace {

using Controls = OnBlankForm;

TEST_F(Controls, KeepTwipsExactlyAndPlaceTheirWidgetsAtRoundedPixels) {
  platform::Label label(form, QStringLiteral("Caption"));
  struct Case {
    float twips;
    int pixels;
  };
  for (const Case c : {Case{0, 0}, Case{7, 0}, Case{8, 1}, Case{1000, 67}, Case{1010, 67}, Case{6277.4f, 418},
                       Case{6277.6f, 419}, Case{-100, -7}}) {
    SCOPED_TRACE(c.twips);
    label.setLeft(c.twips);
    label.setTop(c.twips + 15);
    EXPECT_EQ(label.left(), c.twips);
    EXPECT_EQ(label.widget()->x(), c.pixels);
    EXPECT_EQ(label.widget()->y(), c.pixels + 1);
    if (c.twips < 0) continue;
    label.setWidth(c.twips);
    label.setHeight(c.twips);
    EXPECT_EQ(label.widget()->width(), c.pixels);
    EXPECT_EQ(label.widget()->height(), c.pixels);
  }
}

TEST_F(Controls, CheckBoxTakesZeroOneOrTwoAndClicksOnEveryChange) {
  platform::CheckBox box(form, QStringLiteral("Hidden files"));
  box.move(0, 0, 3000, 300);
  int clicks = 0;
  box.Click = [&] { ++clicks; };

  const Qt::CheckState shown[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
  for (const std::int16_t value : {std::int16_t{1}, std::int16_t{2}, std::int16_t{0}}) {
    const int before = clicks;
    box.setValue(value);
    EXPECT_EQ(box.value(), value);
    EXPECT_EQ(static_cast<QCheckBox*>(box.widget())->checkState(), shown[value]);
    EXPECT_EQ(clicks, before + 1) << value;
    box.setValue(value);
    EXPECT_EQ(clicks, before + 1) << "the same value again " << value;
  }
  box.setValue(1);
  for (const std::int16_t wrong : {std::int16_t{-1}, std::int16_t{3}, std::int16_t{255}}) {
    EXPECT_EQ(raisedError([&] { box.setValue(wrong); }), 380) << wrong;
    EXPECT_EQ(box.value(), 1);
  }

  // A click checks an unchecked or greyed box and unchecks a checked one.
  showForm();
  struct Case {
    std::int16_t from, to;
  };
  for (const Case c : {Case{0, 1}, Case{1, 0}, Case{2, 1}}) {
    box.setValue(c.from);
    const int before = clicks;
    QTest::mouseClick(box.widget(), Qt::LeftButton, {}, QPoint(8, 10));
    EXPECT_EQ(box.value(), c.to) << "from " << c.from;
    EXPECT_EQ(clicks, before + 1) << "from " << c.from;
  }
}

TEST_F(Controls, ComboBoxClicksOnChoicesButNotOnTyping) {
  platform::ComboBox combo(form);
  combo.move(0, 0, 3000, 315);
  int clicks = 0;
  QString textAtClick;
  combo.Click = [&] {
    ++clicks;
    textAtClick = combo.text();
  };
  for (const char* item : {"All pictures", "Bitmaps", "JPEG pictures"}) combo.addItem(QString::fromLatin1(item));
  EXPECT_EQ(combo.listIndex(), -1);
  EXPECT_EQ(combo.text(), QString());
  EXPECT_EQ(clicks, 0);

  combo.setListIndex(1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(textAtClick, QStringLiteral("Bitmaps"));
  combo.setListIndex(1);
  EXPECT_EQ(clicks, 1);
  for (const int wrong : {-2, 3, 100}) {
    EXPECT_EQ(raisedError([&] { combo.setListIndex(wrong); }), 380) << wrong;
    EXPECT_EQ(combo.listIndex(), 1);
  }
  combo.setListIndex(-1);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(combo.text(), QString());

  showForm();
  combo.setFocus();
  QTest::keyClicks(combo.comboBox(), QStringLiteral("Bitmaps"));
  QTest::keyClick(combo.comboBox(), Qt::Key_Return);
  EXPECT_EQ(combo.text(), QStringLiteral("Bitmaps"));
  EXPECT_EQ(clicks, 2) << "typing an item's name is not choosing it";

  // Choosing from the drop-down.
  combo.comboBox()->showPopup();
  QAbstractItemView* view = combo.comboBox()->view();
  view->setCurrentIndex(view->model()->index(2, 0));
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(combo.listIndex(), 2);
  EXPECT_EQ(textAtClick, QStringLiteral("JPEG pictures"));
  EXPECT_EQ(combo.text(), QStringLiteral("JPEG pictures"));
}

TEST_F(Controls, SettingAnOptionButtonClearsTheOthers) {
  platform::OptionButtons options(form);
  for (int i = 0; i < 3; ++i) options.add(QStringLiteral("Option %1").arg(i)).move(0, static_cast<float>(300 * i), 3000, 300);
  std::vector<int> clicked;
  options.Click = [&](std::int16_t index) { clicked.push_back(index); };
  const auto values = [&] { return std::vector<bool>{options.value(0), options.value(1), options.value(2)}; };

  options.setValue(1, true);
  EXPECT_EQ(values(), (std::vector<bool>{false, true, false}));
  options.setValue(2, true);
  EXPECT_EQ(values(), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(clicked, (std::vector<int>{1, 2}));
  EXPECT_EQ(raisedError([&] { options.setValue(3, true); }), platform::errors::InvalidProcedureCall);

  showForm();
  QTest::mouseClick(options[0].widget(), Qt::LeftButton, {}, QPoint(8, 10));
  EXPECT_EQ(values(), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(clicked, (std::vector<int>{1, 2, 0}));
}

}  // namespace
