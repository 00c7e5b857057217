#include "dialogs/FORM_About.h"

#include "ProgramInfo.h"
#include "platform/desktop/ErrorHandling.h"
#include "startup/ProgramIdentity.h"

using namespace platform;

FORM_About::FORM_About() {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setCentredOnOwner(true);
  setClientSize(4200, 3945);
  setKeyPreview(true);

  BUTTON_AboutClose.move(1500, 3480, 1215, 375);
  BUTTON_AboutClose.setToolTipText(QStringLiteral("Close"));
  PICTURE_AboutIcon.move(120, 120, 540, 540);
  PICTURE_AboutIcon.setToolTipText(QStringLiteral("My Icon"));
  PICTURE_AboutIcon.setPicture(ProgramIdentity::icon().pixmap(32, 32));
  LABEL_AboutName.move(1080, 120, 0, 195);
  LABEL_AboutName.setToolTipText(QStringLiteral("Program Title"));
  LABEL_AboutProduct.move(1080, 480, 0, 195);
  LABEL_AboutProduct.setToolTipText(QStringLiteral("Product Description"));
  LABEL_AboutAuthor.move(1080, 840, 0, 195);
  LABEL_AboutAuthor.setToolTipText(QStringLiteral("Author Info"));
  for (Label* label : {&LABEL_AboutName, &LABEL_AboutProduct, &LABEL_AboutAuthor}) label->setAutoSize(true);
  setDefaultButton(&BUTTON_AboutClose);

  orderTabs({&BUTTON_AboutClose, &PICTURE_AboutIcon, &LABEL_AboutName, &LABEL_AboutProduct,
             &LABEL_AboutAuthor});

  BUTTON_AboutClose.Click = [this] { BUTTON_AboutClose_Click(); };
  PICTURE_AboutIcon.DblClick = [this] { PICTURE_AboutIcon_DblClick(); };
}

void FORM_About::Form_Load() {
  SkipFailingSteps step;
  step([&] { setCaption(QStringLiteral("About ") + ProgramInfo::Name); });
  step([&] { LABEL_AboutName.setCaption(ProgramInfo::Name + QStringLiteral(" ") + ProgramInfo::Version); });
  step([&] { LABEL_AboutProduct.setCaption(QStringLiteral("Tavloer and Manager.")); });
  step([&] { LABEL_AboutAuthor.setCaption(QStringLiteral("Written by the Tavlo developers.")); });
}

void FORM_About::BUTTON_AboutClose_Click() { unload(); }

void FORM_About::PICTURE_AboutIcon_DblClick() { unload(); }

void FORM_About::Form_KeyPress(std::int16_t& keyAscii) {
  if (keyAscii == 27) unload();
}
