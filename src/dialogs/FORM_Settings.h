#pragma once

#include "platform/Form.h"

// The settings dialog. It stays loaded and hidden for the whole run, and its
// load sets the shared settings.
class FORM_Settings : public platform::Form {
 public:
  FORM_Settings();

  void LoadSettings();

 protected:
  void Form_Load() override;
};
