#include "dialogs/FORM_Settings.h"

#include "startup/MODULE_Public.h"

FORM_Settings::FORM_Settings() { setWindowFlag(Qt::Tool); }

void FORM_Settings::Form_Load() { LoadSettings(); }

void FORM_Settings::LoadSettings() {
  using namespace MODULE_Public;
  StartPath.clear();
  ConfirmRename = 1;
  ConfirmDelete = 1;
  CommandFullSize = 1;
}
