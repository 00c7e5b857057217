// Qt's input box, typed into as a user would.
#include "platform/desktop/Seams.h"
#include "support/FreshProgram.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

using InputBox = FreshProgram;

TEST_F(InputBox, ShowsTheDefaultTextWithTheCursorAfterItSoTypingAddsToIt) {
  QString selected = QStringLiteral("not looked at");
  int cursor = -1;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    auto* edit = box ? box->findChild<QLineEdit*>() : nullptr;
    ASSERT_NE(edit, nullptr);
    selected = edit->selectedText();
    cursor = edit->cursorPosition();
    QTest::keyClicks(edit, QStringLiteral("photo 2.jpg"));
    QTest::keyClick(edit, Qt::Key_Return);
  });
  const QString typed = platform::qtSeams().inputBox->ask(QStringLiteral("Enter the new name for this file..."),
                                                         QStringLiteral("Rename"), QStringLiteral("/pictures/"));
  EXPECT_EQ(selected, QString());
  EXPECT_EQ(cursor, 10);
  EXPECT_EQ(typed, QStringLiteral("/pictures/photo 2.jpg"));
}

}  // namespace
