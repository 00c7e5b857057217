#pragma once

#include "platform/desktop/LatestRequest.h"
#include "platform/forms/CheckBox.h"
#include "platform/forms/ComboBox.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/DirListBox.h"
#include "platform/forms/DriveListBox.h"
#include "platform/forms/FileListBox.h"
#include "platform/forms/Form.h"
#include "platform/forms/ImageControl.h"
#include "platform/forms/Label.h"
#include "platform/forms/PopupMenu.h"

#include <QTimer>

#include <cstdint>
#include <optional>

// The browser: drives, folders and the filtered files of a folder on the
// left, the preview of the chosen file and the file commands on the right.
class FORM_Tavlo : public platform::Form {
 public:
  FORM_Tavlo();

  // Controls, in tab order.
  platform::DirListBox Dir1{this};
  platform::ComboBox COMBO_Filter{this};
  platform::CheckBox CHECK_Hidden{this, QStringLiteral("Show Hidden Files")};
  platform::FileListBox File1{this};
  platform::CommandButton BUTTON_Settings{this, QStringLiteral("&Settings")};
  platform::CommandButton BUTTON_Open{this, QString()};
  platform::CommandButton BUTTON_Fullsize{this, QString()};
  platform::CommandButton BUTTON_Rename{this, QString()};
  platform::CommandButton BUTTON_Delete{this, QString()};
  platform::DriveListBox Drive1{this};
  platform::Label LABEL_NotImage{this, QStringLiteral("Not a Valid Image")};
  platform::Label LABEL_FileSize{this, QStringLiteral("File Size")};
  platform::Label LABEL_PixSize{this, QStringLiteral("Pixel Size")};
  platform::ImageControl IMAGE_Preview{this, platform::ImageControl::Border::FixedSingle};

  platform::PopupMenu MENU_FileListPopup{this, QStringLiteral("FileListPopup")};
  platform::PopupMenu::Item& MENUOPT_Open = MENU_FileListPopup.addItem(QStringLiteral("Open"));
  platform::PopupMenu::Item& MENUOPT_FullSize = MENU_FileListPopup.addItem(QStringLiteral("Full Size"));
  platform::PopupMenu::Item& MENUOPT_Rename = MENU_FileListPopup.addItem(QStringLiteral("Rename..."));
  platform::PopupMenu::Item& MENUOPT_Delete = MENU_FileListPopup.addItem(QStringLiteral("Delete"));
  platform::PopupMenu::Item& MENUOPT_SaveBMP = MENU_FileListPopup.addItem(QStringLiteral("Save As BMP..."));

  // How long no key must come before the rows around a preview are fetched;
  // none, for measuring previews without it.
  static inline std::optional<int> PrefetchPauseMilliseconds = 100;

  // The square the preview is fitted into, in twips; set once at load.
  std::int32_t PreviewBoxSize = 0;
  std::int32_t PreviewBoxLeft = 0;
  std::int32_t PreviewBoxTop = 0;

  // The preview pane.
  void ShowPreview();
  void ClearPreview();

  // The file commands, each on the file list's current row.
  void OpenSelectedFile();
  void ShowFullSize();
  void RenameSelectedFile();
  void DeleteSelectedFile();
  void SaveAsBitmap();

  // Navigation.
  void Drive1_Change();
  void Dir1_Change();
  void COMBO_Filter_Click();
  void CHECK_Hidden_Click();
  void File1_Click();
  void File1_DblClick();

  // Routes to the commands.
  void BUTTON_Open_Click();
  void BUTTON_Fullsize_Click();
  void BUTTON_Rename_Click();
  void BUTTON_Delete_Click();
  void BUTTON_Settings_Click();
  void MENUOPT_Open_Click();
  void MENUOPT_FullSize_Click();
  void MENUOPT_Rename_Click();
  void MENUOPT_Delete_Click();
  void MENUOPT_SaveBMP_Click();
  void IMAGE_Preview_DblClick();
  void IMAGE_Preview_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
  void File1_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);

 protected:
  void Form_Load() override;
  void Form_Unload(std::int16_t& cancel) override;
  void Form_KeyPress(std::int16_t& keyAscii) override;
  void Form_DblClick() override;

 private:
  void layOutControls();
  void connectHandlers();

  // The preview's steps after each read of the file, and its failure.
  void previewMeasured(const QString& path, QSize box, std::int64_t length);
  void previewLoaded(platform::Picture picture);
  void previewDrawn(std::int32_t pixelWidth, std::int32_t pixelHeight);
  void previewFailed();
  template <class Step>
  void previewStep(Step step);
  // A newer preview, or clearing the pane, supersedes the one in progress:
  // its work is cancelled and its result never reaches the controls.
  void supersedePreview();
  platform::LatestRequest previewing_;

  // Once a preview is shown and no key has come for a moment, the previews
  // of the rows around it are decoded ahead, in the direction of travel
  // first; any new selection gives that up.
  void prefetchNeighbours();
  QSize previewBox() const;
  QTimer prefetchPause_;
  platform::LatestRequest prefetching_;
  int previewedRow_ = -1;
  int travel_ = 1;

  // The ends of the file commands, once their work on the disk is done.
  void driveFailed(const platform::RuntimeError& error);
  void fileCommandDone(const std::optional<platform::RuntimeError>& error, const QString& failed, const QString& title);
  void deleteDone(const std::optional<platform::RuntimeError>& error);
  platform::LatestRequest popupLookup_;
};
