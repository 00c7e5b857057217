#pragma once

#include "platform/forms/CommandButton.h"
#include "platform/forms/Form.h"
#include "platform/forms/Label.h"
#include "platform/forms/PictureBox.h"

// The about box: the program's icon, name and version, what it is, and who
// wrote it. It is made anew at each opening and unloaded when it closes.
class FORM_About : public platform::Form {
 public:
  FORM_About();

  platform::CommandButton BUTTON_AboutClose{this, QStringLiteral("&Close")};
  platform::PictureBox PICTURE_AboutIcon{this};
  platform::Label LABEL_AboutName{this, QString()};
  platform::Label LABEL_AboutProduct{this, QString()};
  platform::Label LABEL_AboutAuthor{this, QString()};

  void BUTTON_AboutClose_Click();
  void PICTURE_AboutIcon_DblClick();

 protected:
  void Form_Load() override;
  void Form_KeyPress(std::int16_t& keyAscii) override;
};
