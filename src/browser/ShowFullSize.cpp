// The browser's full-size command: the previewed picture in the viewer.

#include "browser/FORM_Tavlo.h"

#include "platform/forms/DoEvents.h"
#include "startup/MODULE_Public.h"
#include "viewer/FORM_MiniTavlo.h"

void FORM_Tavlo::ShowFullSize() {
  // Nothing to view while the preview holds no picture.
  if (IMAGE_Preview.picture().handle() == 0) return;
  // Nor while the viewer is open already.
  if (MODULE_Public::ViewerFromBrowser != 0) return;
  MODULE_Public::ViewerFromBrowser = -1;
  FORM_MiniTavlo& viewer = platform::DefaultInstance<FORM_MiniTavlo>::get();
  viewer.PicturePath = MODULE_Public::CurrentPath + File1.list(File1.listIndex());
  viewer.showForm(platform::Form::Modality::Modal);
  platform::DoEvents();
  MODULE_Public::ViewerFromBrowser = 0;
}
