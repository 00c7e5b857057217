#include "browser/FORM_Tavlo.h"

#include "ProgramInfo.h"
#include "browser/ButtonPictures.h"
#include "dialogs/FORM_About.h"
#include "dialogs/FORM_Settings.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "platform/desktop/SettingsStore.h"
#include "platform/forms/Conversions.h"
#include "platform/forms/TextToNumber.h"
#include "platform/pictures/PictureTypes.h"
#include "startup/MODULE_Public.h"

using namespace platform;
using namespace MODULE_Public;

namespace {

const char* const FilterItems[] = {"*.jpg;*.gif;*.bmp", "*.jpg", "*.gif", "*.bmp", "*.ico;*.cur", "*.wmf;*.emf", "*.*"};

// After those, every other picture type the loader reads here.
QString otherPicturesItem() {
  QStringList covered;
  for (const char* item : FilterItems) covered += QString::fromLatin1(item).split(QLatin1Char(';'));
  return otherPicturePatterns(covered);
}

}  // namespace

FORM_Tavlo::FORM_Tavlo() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setClientSize(7980, 3480);
  setKeyPreview(true);
  layOutControls();
  connectHandlers();
  prefetchPause_.setSingleShot(true);
  QObject::connect(&prefetchPause_, &QTimer::timeout, [this] { prefetchNeighbours(); });
}

void FORM_Tavlo::layOutControls() {
  Dir1.move(90, 570, 2955, 2790);
  COMBO_Filter.move(3150, 120, 1275, 315);
  CHECK_Hidden.move(4530, 180, 1635, 195);
  File1.move(3150, 570, 2955, 2820);
  BUTTON_Settings.move(6240, 90, 1635, 375);
  BUTTON_Settings.setToolTipText(QStringLiteral("Program Settings"));
  BUTTON_Open.move(6240, 600, 375, 375);
  BUTTON_Open.setToolTipText(QStringLiteral("Open"));
  BUTTON_Fullsize.move(6660, 600, 375, 375);
  BUTTON_Fullsize.setToolTipText(QStringLiteral("Full Size"));
  BUTTON_Rename.move(7080, 600, 375, 375);
  BUTTON_Rename.setToolTipText(QStringLiteral("Rename"));
  BUTTON_Delete.move(7500, 600, 375, 375);
  BUTTON_Delete.setToolTipText(QStringLiteral("Delete"));
  // What a screen reader announces for the controls without caption or tooltip.
  Drive1.setAccessibleName(QStringLiteral("Volumes"));
  Dir1.setAccessibleName(QStringLiteral("Folders"));
  COMBO_Filter.setAccessibleName(QStringLiteral("File Types"));
  File1.setAccessibleName(QStringLiteral("Files"));
  IMAGE_Preview.setAccessibleName(QStringLiteral("Preview"));
  Drive1.move(90, 120, 2955, 315);
  LABEL_NotImage.move(6600, 1680, 915, 435);
  LABEL_NotImage.setVisible(false);
  LABEL_FileSize.move(6240, 3120, 1635, 255);
  LABEL_PixSize.move(6240, 2820, 1635, 255);
  IMAGE_Preview.move(6240, 1080, 1635, 1635);
  IMAGE_Preview.setStretch(true);
  // The notice lies over the middle of the preview box.
  LABEL_NotImage.widget()->raise();

  const QSize pictureSize(20, 20);
  BUTTON_Open.setPicture(ButtonPictures::open(), pictureSize);
  BUTTON_Fullsize.setPicture(ButtonPictures::fullSize(), pictureSize);
  BUTTON_Rename.setPicture(ButtonPictures::rename(), pictureSize);
  BUTTON_Delete.setPicture(ButtonPictures::remove(), pictureSize);
  setDefaultButton(&BUTTON_Settings);

  for (const char* item : FilterItems) COMBO_Filter.addItem(QString::fromLatin1(item));
  if (const QString others = otherPicturesItem(); !others.isEmpty()) COMBO_Filter.addItem(others);
  File1.setPattern(QStringLiteral("*.*"));

  orderTabs({&Dir1, &COMBO_Filter, &CHECK_Hidden, &File1, &BUTTON_Settings, &BUTTON_Open, &BUTTON_Fullsize,
             &BUTTON_Rename, &BUTTON_Delete, &Drive1});
}

void FORM_Tavlo::connectHandlers() {
  Drive1.Change = [this] { Drive1_Change(); };
  Dir1.Change = [this] { Dir1_Change(); };
  COMBO_Filter.Click = [this] { COMBO_Filter_Click(); };
  CHECK_Hidden.Click = [this] { CHECK_Hidden_Click(); };
  File1.Click = [this] { File1_Click(); };
  File1.DblClick = [this] { File1_DblClick(); };
  File1.MouseDown = [this](std::int16_t b, std::int16_t s, float x, float y) { File1_MouseDown(b, s, x, y); };
  BUTTON_Open.Click = [this] { BUTTON_Open_Click(); };
  BUTTON_Fullsize.Click = [this] { BUTTON_Fullsize_Click(); };
  BUTTON_Rename.Click = [this] { BUTTON_Rename_Click(); };
  BUTTON_Delete.Click = [this] { BUTTON_Delete_Click(); };
  BUTTON_Settings.Click = [this] { BUTTON_Settings_Click(); };
  MENUOPT_Open.Click = [this] { MENUOPT_Open_Click(); };
  MENUOPT_FullSize.Click = [this] { MENUOPT_FullSize_Click(); };
  MENUOPT_Rename.Click = [this] { MENUOPT_Rename_Click(); };
  MENUOPT_Delete.Click = [this] { MENUOPT_Delete_Click(); };
  MENUOPT_SaveBMP.Click = [this] { MENUOPT_SaveBMP_Click(); };
  IMAGE_Preview.DblClick = [this] { IMAGE_Preview_DblClick(); };
  IMAGE_Preview.MouseDown = [this](std::int16_t b, std::int16_t s, float x, float y) {
    IMAGE_Preview_MouseDown(b, s, x, y);
  };
}

void FORM_Tavlo::Form_Load() {
  SkipFailingSteps step;
  step([&] { setCaption(ProgramInfo::Name); });
  // The box must be known before anything can clear the preview.
  step([&] {
    PreviewBoxSize = toInt32(IMAGE_Preview.width());
    PreviewBoxLeft = toInt32(IMAGE_Preview.left());
    PreviewBoxTop = toInt32(IMAGE_Preview.top());
  });
  step([&] { COMBO_Filter.setListIndex(FilterIndex); });
  step([&] { CHECK_Hidden.setValue(ShowHidden); });
  step([&] {
    if (!StartPath.isEmpty()) Dir1.setPath(StartPath);
  });
  step([&] { CurrentPath = folderWithSeparator(Dir1.path()); });
}

void FORM_Tavlo::Form_Unload(std::int16_t& /*cancel*/) {
  // Remembering is on: keep where the user was for the next run.
  FORM_Settings& settings = DefaultInstance<FORM_Settings>::get();
  if (settings.CHECK_RememberSettings.value() == CheckBox::Checked) {
    // In one write, as Apply's keys are; a store that cannot be written
    // keeps what it held.
    SkipFailingSteps step;
    step([&] {
      SettingsStore store(SettingsApplication);
      if (settings.OPTION_StartPath.value(1)) store.setValue(SettingsSection, QStringLiteral("StartPath"), CurrentPath);
      store.setValue(SettingsSection, QStringLiteral("Filter"), QString::number(COMBO_Filter.listIndex()));
      store.setValue(SettingsSection, QStringLiteral("Hidden"), int16ToText(CHECK_Hidden.value()));
      store.save();
    });
  }
  endProgram();
}

// The volume is checked, and its folder read, off the window's thread, under
// the folder list's hourglass.
void FORM_Tavlo::Drive1_Change() {
  Dir1.changeToDrive(Drive1.drive(), [this](const std::optional<RuntimeError>& error) {
    if (error) driveFailed(*error);
  });
}

void FORM_Tavlo::driveFailed(const RuntimeError& error) {
  if (error.number() == errors::DeviceUnavailable) {
    const int answer = MsgBox(QStringLiteral("Drive ") + driveTextForMessage(Drive1.drive()) +
                                  QStringLiteral(" not ready.  Please insert disk in drive."),
                              msgbox::RetryCancel + msgbox::Exclamation, QStringLiteral("Drive Error"));
    if (answer == msgbox::Retry) return Drive1_Change();
  } else {
    MsgBox(QStringLiteral("Error changing drive."), msgbox::OkOnly + msgbox::Exclamation,
           QStringLiteral("Drive Error"));
  }
  // Back to the drive of the folder still shown; that change runs
  // Drive1_Change again, for a drive that works.
  SkipFailingSteps step;
  step([&] { Drive1.setDrive(Dir1.path()); });
  Screen::setMousePointer(Screen::DefaultPointer);
}

void FORM_Tavlo::Dir1_Change() {
  File1.setPattern(COMBO_Filter.text());
  File1.setPath(Dir1.path());
  ClearPreview();
  CurrentPath = folderWithSeparator(Dir1.path());
}

void FORM_Tavlo::COMBO_Filter_Click() {
  File1.setPattern(COMBO_Filter.text());
  ClearPreview();
}

void FORM_Tavlo::CHECK_Hidden_Click() {
  File1.setHidden(CHECK_Hidden.value() == CheckBox::Checked);
  ClearPreview();
}

void FORM_Tavlo::File1_Click() {
  if (File1.listCount() != 0) ShowPreview();
}

void FORM_Tavlo::File1_DblClick() {
  if (File1.listCount() != 0) OpenSelectedFile();
}

void FORM_Tavlo::BUTTON_Open_Click() { OpenSelectedFile(); }
void FORM_Tavlo::BUTTON_Fullsize_Click() { ShowFullSize(); }
void FORM_Tavlo::BUTTON_Rename_Click() { RenameSelectedFile(); }
void FORM_Tavlo::BUTTON_Delete_Click() { DeleteSelectedFile(); }
void FORM_Tavlo::BUTTON_Settings_Click() { DefaultInstance<FORM_Settings>::get().showForm(Form::Modality::Modal); }
void FORM_Tavlo::MENUOPT_Open_Click() { OpenSelectedFile(); }
void FORM_Tavlo::MENUOPT_FullSize_Click() { ShowFullSize(); }
void FORM_Tavlo::MENUOPT_Rename_Click() { RenameSelectedFile(); }
void FORM_Tavlo::MENUOPT_Delete_Click() { DeleteSelectedFile(); }
void FORM_Tavlo::MENUOPT_SaveBMP_Click() { SaveAsBitmap(); }
void FORM_Tavlo::IMAGE_Preview_DblClick() { OpenSelectedFile(); }

void FORM_Tavlo::IMAGE_Preview_MouseDown(std::int16_t button, std::int16_t /*shift*/, float /*x*/, float /*y*/) {
  if (button != mouse::Left) ShowFullSize();
}

// The file list's pop-up menu, for the current row (not the row under the pointer).
void FORM_Tavlo::File1_MouseDown(std::int16_t button, std::int16_t /*shift*/, float /*x*/, float /*y*/) {
  SkipFailingSteps step;
  if (button == mouse::Left || File1.listCount() <= 0) return;
  bool anySelected = false;
  for (int row = 0; row < File1.listCount() && !anySelected; ++row) anySelected = File1.selected(row);
  if (!anySelected) return;

  QString path;
  step([&] { path = CurrentPath + File1.list(File1.listIndex()); });
  // Looking up the program may read the file's first bytes: off the window's
  // thread. The menu shows once it is known.
  popupLookup_.run([path](const BackgroundWork&) { return MODULE_Win32Api::FindAssociatedProgram(path); },
                   [this](Background<QString>& program) {
                     SkipFailingSteps menuStep;
                     menuStep([&] { MENUOPT_Open.setEnabled(!program.take().isEmpty()); });
                     menuStep([&] {
                       const bool previewed = IMAGE_Preview.picture().handle() != 0;
                       MENUOPT_FullSize.setEnabled(previewed);
                       MENUOPT_SaveBMP.setEnabled(previewed);
                     });
                     menuStep([&] { MENU_FileListPopup.popup(); });
                     menuStep([&] { repaint(); });
                   });
}

void FORM_Tavlo::Form_KeyPress(std::int16_t& keyAscii) {
  if (keyAscii == 27) unload();
}

void FORM_Tavlo::Form_DblClick() { DefaultInstance<FORM_About>::get().showForm(Form::Modality::Modal); }
