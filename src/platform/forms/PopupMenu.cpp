#include "platform/forms/PopupMenu.h"

#include "platform/desktop/ErrorHandling.h"

#include <QCursor>
#include <QMenu>

namespace platform {

QString PopupMenu::Item::caption() const { return action_->text(); }

bool PopupMenu::Item::enabled() const { return action_->isEnabled(); }

void PopupMenu::Item::setEnabled(bool enabled) { action_->setEnabled(enabled); }

void PopupMenu::Item::choose() {
  if (action_->isEnabled()) action_->trigger();
}

PopupMenu::PopupMenu(QWidget* parent, const QString& caption) : menu_(std::make_unique<QMenu>(caption, parent)) {}

PopupMenu::~PopupMenu() = default;

PopupMenu::Item& PopupMenu::addItem(const QString& caption) {
  QAction* action = menu_->addAction(caption);
  items_.push_back(std::make_unique<Item>(action));
  Item* item = items_.back().get();
  QObject::connect(action, &QAction::triggered, action, [item] {
    asUserAction([&] { raiseEvent(item->Click); });
  });
  return *item;
}

QString PopupMenu::caption() const { return menu_->title(); }

void PopupMenu::popup() { menu_->exec(QCursor::pos()); }

}  // namespace platform
