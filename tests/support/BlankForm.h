#pragma once

#include "platform/forms/Form.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QTest>

// A window with nothing of its own, to hold the controls under test.
class BlankForm : public platform::Form {
 public:
  BlankForm() { resize(800, 600); }
};

// A fresh program with a blank window. Controls go on it first; showing it
// afterwards makes them visible, and activating it lets keys reach the
// focused control. The tear-down destroys the window.
class OnBlankForm : public FreshProgram {
 protected:
  void SetUp() override {
    FreshProgram::SetUp();
    form = new BlankForm;
  }

  void showForm() {
    form->showForm();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
  }

  BlankForm* form = nullptr;
};
