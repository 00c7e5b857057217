#include "platform/desktop/Seams.h"

#include "platform/desktop/DesktopEntryLaunch.h"
#include "platform/desktop/FileNames.h"
#include "platform/desktop/MountTable.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <dirent.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

class QtMessageBox final : public MessageBoxSeam {
 public:
  int show(const QString& prompt, int style, const QString& title) override {
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(prompt);
    box.setIcon(iconFor(style & 0x70));
    const auto buttons = buttonsFor(style & 0x7);
    QList<QAbstractButton*> created;
    for (const auto& [role, answer] : buttons) {
      QAbstractButton* button = box.addButton(role);
      button->setProperty("answer", answer);
      created.append(button);
    }
    const int defaultIndex = (style >> 8) & 0x3;
    if (defaultIndex < created.size()) box.setDefaultButton(qobject_cast<QPushButton*>(created[defaultIndex]));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    // Closing the box without a button answers as its cancelling button would.
    if (!clicked) return buttons.size() == 1 ? buttons.front().second : msgbox::Cancel;
    return clicked->property("answer").toInt();
  }

 private:
  static QMessageBox::Icon iconFor(int icon) {
    switch (icon) {
      case msgbox::Critical: return QMessageBox::Critical;
      case msgbox::Question: return QMessageBox::Question;
      case msgbox::Exclamation: return QMessageBox::Warning;
      case msgbox::Information: return QMessageBox::Information;
      default: return QMessageBox::NoIcon;
    }
  }

  static std::vector<std::pair<QMessageBox::StandardButton, int>> buttonsFor(int set) {
    using B = QMessageBox;
    switch (set) {
      case msgbox::OkCancel: return {{B::Ok, msgbox::Ok}, {B::Cancel, msgbox::Cancel}};
      case msgbox::AbortRetryIgnore:
        return {{B::Abort, msgbox::Abort}, {B::Retry, msgbox::Retry}, {B::Ignore, msgbox::Ignore}};
      case msgbox::YesNoCancel: return {{B::Yes, msgbox::Yes}, {B::No, msgbox::No}, {B::Cancel, msgbox::Cancel}};
      case msgbox::YesNo: return {{B::Yes, msgbox::Yes}, {B::No, msgbox::No}};
      case msgbox::RetryCancel: return {{B::Retry, msgbox::Retry}, {B::Cancel, msgbox::Cancel}};
      default: return {{B::Ok, msgbox::Ok}};
    }
  }
};

// The default text shows with the cursor after it and nothing selected, so
// that what the user types is added to it, never typed over it.
class QtInputBox final : public InputBoxSeam {
 public:
  QString ask(const QString& prompt, const QString& title, const QString& defaultText) override {
    Box box;
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
  }

 private:
  // Qt's input dialog selects its whole text each time it is shown.
  class Box final : public QInputDialog {
   public:
    void setVisible(bool visible) override {
      QInputDialog::setVisible(visible);
      if (!visible) return;
      if (auto* edit = findChild<QLineEdit*>()) {
        edit->deselect();
        edit->end(false);
      }
    }
  };
};

class QtScreenMetrics final : public ScreenMetricsSeam {
 public:
  int widthPixels() override { return screen() ? screen()->size().width() : 1024; }
  int heightPixels() override { return screen() ? screen()->size().height() : 768; }
  double logicalDpiX() override { return screen() ? screen()->logicalDotsPerInchX() : 96.0; }
  double logicalDpiY() override { return screen() ? screen()->logicalDotsPerInchY() : 96.0; }

 private:
  static QScreen* screen() { return QGuiApplication::primaryScreen(); }
};

class StorageVolumes final : public VolumesSeam {
 public:
  // The list is read while the browser window is built, so it asks no
  // mounted file system anything: a network or FUSE volume whose server
  // hangs would keep the window from ever appearing.
  QStringList mountPaths() override {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return browsableMounts(table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray(), knownNotFolder);
  }

  int probe(const QString& mountPath) override {
    DIR* dir = ::opendir(platform::nativeFileName(mountPath).constData());
    if (!dir) return errno;
    errno = 0;
    ::readdir(dir);
    const int err = errno;
    ::closedir(dir);
    return err;
  }
};

class DesktopProgramStart final : public ProgramStartSeam {
 public:
  // X11 has no use for the show mode.
  void start(const QString& desktopEntry, const QString& file, int /*showMode*/) override {
    launchDesktopEntry(desktopEntry, file);
  }
};

// Qt's own dialog everywhere, so that its checks are the same on every
// desktop: the default extension is added before the overwrite question,
// and a save into a folder that does not exist is refused.
class QtFileDialog final : public FileDialogSeam {
 public:
  QString show(const FileDialogRequest& request) override {
    const bool saving = request.mode == FileDialogRequest::Mode::Save;
    Dialog dialog(request.owner ? request.owner : QApplication::activeWindow(), request);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!saving && request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(saving && request.confirmOverwrite));
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.suggestedName.isEmpty()) dialog.selectFile(request.suggestedName);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
  }

 private:
  class Dialog final : public QFileDialog {
   public:
    Dialog(QWidget* owner, const FileDialogRequest& request)
        : QFileDialog(owner, request.title, request.initialFolder), pathMustExist_(request.pathMustExist) {}

    void accept() override {
      const QStringList chosen = selectedFiles();
      if (pathMustExist_ && !chosen.isEmpty()) {
        const QFileInfo file(chosen.first());
        if (!file.isDir() && !QFileInfo(file.absolutePath()).isDir()) {
          QMessageBox::warning(this, windowTitle(),
                               file.absolutePath() + QStringLiteral("\nThe folder does not exist."));
          return;
        }
      }
      QFileDialog::accept();
    }

   private:
    bool pathMustExist_;
  };
};

class QtProcessExit final : public ProcessExitSeam {
 public:
  void exit(int code) override { QCoreApplication::exit(code); }
};

}  // namespace

Seams qtSeams() {
  return Seams{std::make_shared<QtMessageBox>(), std::make_shared<QtInputBox>(),
               std::make_shared<QtScreenMetrics>(), std::make_shared<StorageVolumes>(),
               std::make_shared<QtProcessExit>(), std::make_shared<DesktopProgramStart>(),
               std::make_shared<QtFileDialog>()};
}

Seams& seams() {
  static Seams current = qtSeams();
  return current;
}

void installSeams(Seams replacement) { seams() = std::move(replacement); }

// Names in the texts are shown as the desktop shows them. An answer that
// keeps the default text as shown keeps it as it was given: a folder whose
// name has stray bytes stays that folder.
int MsgBox(const QString& prompt, int style, const QString& title) {
  return seams().messageBox->show(displayedName(prompt), style, displayedName(title));
}

QString InputBox(const QString& prompt, const QString& title, const QString& defaultText) {
  const QString shownDefault = displayedName(defaultText);
  const QString answer = seams().inputBox->ask(displayedName(prompt), displayedName(title), shownDefault);
  if (shownDefault != defaultText && answer.startsWith(shownDefault))
    return defaultText + answer.mid(shownDefault.size());
  return answer;
}

}  // namespace platform
