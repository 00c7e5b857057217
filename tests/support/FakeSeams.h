#pragma once

#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/Seams.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// Scripted stand-ins for the seams: each records what it was asked and
// answers from a script, so that tests assert the exact texts.
namespace fakes {

// The next scripted answer; once they are used up, the given one.
template <class Answer>
Answer next(std::deque<Answer>& answers, Answer whenUsedUp) {
  if (answers.empty()) return whenUsedUp;
  Answer answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

class MessageBox final : public platform::MessageBoxSeam {
 public:
  // A box as its prompt, style and title.
  static QString text(const QString& prompt, int style, const QString& title) {
    return prompt + QStringLiteral(" [") + QString::number(style) + QStringLiteral("] ") + title;
  }
  int show(const QString& prompt, int style, const QString& title) override {
    calls.append(text(prompt, style, title));
    if (meanwhile) meanwhile();
    return next(answers, int{platform::msgbox::Ok});
  }
  // Answers given in turn; once used up, every box answers 1 (OK).
  std::deque<int> answers;
  QStringList calls;  // the boxes shown so far
  // Something done to the world while a box is up.
  std::function<void()> meanwhile;
};

struct InputBoxCall {
  QString prompt, title, defaultText;
};

class InputBox final : public platform::InputBoxSeam {
 public:
  QString ask(const QString& prompt, const QString& title, const QString& defaultText) override {
    calls.push_back({prompt, title, defaultText});
    return next(answers, QString());
  }
  // Texts typed in turn; once used up, the box is cancelled (empty text).
  std::deque<QString> answers;
  std::vector<InputBoxCall> calls;
};

// A 1024 by 768 screen at 96 dots per inch: 15 twips per pixel.
class ScreenMetrics final : public platform::ScreenMetricsSeam {
 public:
  int widthPixels() override { return width; }
  int heightPixels() override { return height; }
  double logicalDpiX() override { return dpiX; }
  double logicalDpiY() override { return dpiY; }
  int width = 1024, height = 768;
  double dpiX = 96, dpiY = 96;
};

// Volumes by mount path; a volume can be made to fail with an errno.
class Volumes final : public platform::VolumesSeam {
 public:
  QStringList mountPaths() override {
    if (listingError != 0) platform::raise(listingError);
    return mounts;
  }
  int probe(const QString& mountPath) override { return failures.contains(mountPath) ? failures.at(mountPath) : 0; }
  QStringList mounts{QStringLiteral("/")};
  std::map<QString, int> failures;
  // When not 0, listing the volumes raises this run-time error.
  int listingError = 0;
};

class ProcessExit final : public platform::ProcessExitSeam {
 public:
  void exit(int code) override { exits.push_back(code); }
  std::vector<int> exits;
};

class ProgramStart final : public platform::ProgramStartSeam {
 public:
  void start(const QString& program, const QString& parameters, int) override { starts.emplace_back(program, parameters); }
  std::vector<std::pair<QString, QString>> starts;  // each program started, with its parameters
};

class FileDialog final : public platform::FileDialogSeam {
 public:
  QString show(const platform::FileDialogRequest& request) override {
    requests.push_back(request);
    return next(answers, QString());
  }
  // Paths chosen in turn; once used up, the dialog is cancelled (empty text).
  std::deque<QString> answers;
  std::vector<platform::FileDialogRequest> requests;
};

struct Installed {
  std::shared_ptr<MessageBox> messageBox = std::make_shared<MessageBox>();
  std::shared_ptr<InputBox> inputBox = std::make_shared<InputBox>();
  std::shared_ptr<ScreenMetrics> screen = std::make_shared<ScreenMetrics>();
  std::shared_ptr<Volumes> volumes = std::make_shared<Volumes>();
  std::shared_ptr<ProcessExit> processExit = std::make_shared<ProcessExit>();
  std::shared_ptr<ProgramStart> programStart = std::make_shared<ProgramStart>();
  std::shared_ptr<FileDialog> fileDialog = std::make_shared<FileDialog>();
};

// Installs a fresh set of fakes and returns them.
inline Installed install() {
  Installed fakes;
  platform::installSeams(platform::Seams{fakes.messageBox, fakes.inputBox, fakes.screen, fakes.volumes,
                                         fakes.processExit, fakes.programStart, fakes.fileDialog});
  return fakes;
}

}  // namespace fakes
