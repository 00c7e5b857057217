#pragma once

#include "platform/forms/Control.h"

#include <memory>
#include <vector>

class QAction;
class QMenu;

namespace platform {

// A menu that is never shown as a menu bar, only as a pop-up at the pointer.
class PopupMenu {
 public:
  class Item {
   public:
    explicit Item(QAction* action) : action_(action) {}
    QString caption() const;
    bool enabled() const;
    void setEnabled(bool enabled);
    // Chooses the item as a click in the menu would.
    void choose();
    Event Click;

   private:
    QAction* action_;
  };

  PopupMenu(QWidget* parent, const QString& caption);
  ~PopupMenu();

  Item& addItem(const QString& caption);
  QString caption() const;
  // Shows the menu at the pointer; returns when it closes, after a chosen
  // item's Click has run.
  void popup();

  QMenu* menu() const { return menu_.get(); }

 private:
  std::unique_ptr<QMenu> menu_;
  std::vector<std::unique_ptr<Item>> items_;
};

}  // namespace platform
