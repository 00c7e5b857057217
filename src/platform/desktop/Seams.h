#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace platform {

// The places where the program meets the person and the machine. Each is a
// small interface with a Qt implementation; tests install scripted fakes.

// A message box: prompt, style (buttons plus icon), title; answers with the
// button pressed (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No).
class MessageBoxSeam {
 public:
  virtual ~MessageBoxSeam() = default;
  virtual int show(const QString& prompt, int style, const QString& title) = 0;
};

// An input box: answers with the text typed, empty when cancelled.
class InputBoxSeam {
 public:
  virtual ~InputBoxSeam() = default;
  virtual QString ask(const QString& prompt, const QString& title, const QString& defaultText) = 0;
};

// Size and resolution of the screen the windows open on.
class ScreenMetricsSeam {
 public:
  virtual ~ScreenMetricsSeam() = default;
  virtual int widthPixels() = 0;
  virtual int heightPixels() = 0;
  virtual double logicalDpiX() = 0;
  virtual double logicalDpiY() = 0;
};

// The mounted volumes a user browses, and whether one can be read now.
class VolumesSeam {
 public:
  virtual ~VolumesSeam() = default;
  // Mount paths, root first.
  virtual QStringList mountPaths() = 0;
  // 0 when the volume's root folder can be read now, else the errno that
  // reading it gave.
  virtual int probe(const QString& mountPath) = 0;
};

// Starting another program, detached, through its desktop entry (the
// entry file's full path), with one file for it to open (none when the text
// is empty): the entry's command line says how the program gets the file.
// No shell of ours sees the entry or the file's name. The show mode (1
// normal, 2 minimised, 3 maximised) is passed on for desktops that use it.
class ProgramStartSeam {
 public:
  virtual ~ProgramStartSeam() = default;
  virtual void start(const QString& desktopEntry, const QString& file, int showMode) = 0;
};

// A request for the open or save dialog.
struct FileDialogRequest {
  enum class Mode { Open, Save };
  Mode mode = Mode::Save;
  // The window the dialog belongs to; none for the active window.
  QWidget* owner = nullptr;
  QString title;
  QString initialFolder;
  QString suggestedName;
  // Each entry "Display text (pattern)", as the dialog lists them.
  QStringList filters;
  // Added to a typed name that has no extension; empty for none.
  QString defaultExtension;
  bool confirmOverwrite = false;
  bool pathMustExist = false;
  bool fileMustExist = false;
};

// The open and save dialogs: the chosen full path, or empty text on cancel.
class FileDialogSeam {
 public:
  virtual ~FileDialogSeam() = default;
  virtual QString show(const FileDialogRequest& request) = 0;
};

// Leaving the process once the program has ended.
class ProcessExitSeam {
 public:
  virtual ~ProcessExitSeam() = default;
  virtual void exit(int code) = 0;
};

struct Seams {
  std::shared_ptr<MessageBoxSeam> messageBox;
  std::shared_ptr<InputBoxSeam> inputBox;
  std::shared_ptr<ScreenMetricsSeam> screenMetrics;
  std::shared_ptr<VolumesSeam> volumes;
  std::shared_ptr<ProcessExitSeam> processExit;
  std::shared_ptr<ProgramStartSeam> programStart;
  std::shared_ptr<FileDialogSeam> fileDialog;
};

// The seams in force; the Qt implementations until something else is installed.
Seams& seams();
Seams qtSeams();
void installSeams(Seams replacement);

// The run time's message and input boxes, through the seams.
int MsgBox(const QString& prompt, int style, const QString& title);
QString InputBox(const QString& prompt, const QString& title, const QString& defaultText);

// Message box styles and answers.
namespace msgbox {
inline constexpr int OkOnly = 0;
inline constexpr int OkCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace msgbox

}  // namespace platform
