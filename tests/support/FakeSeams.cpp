#include "support/FakeSeams.h"

#include "platform/RuntimeError.h"

namespace fakes {

int MessageBox::show(const QString& prompt, int style, const QString& title) {
  calls.push_back({prompt, style, title});
  if (answers.empty()) return platform::msgbox::Ok;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

QString InputBox::ask(const QString& prompt, const QString& title, const QString& defaultText) {
  calls.push_back({prompt, title, defaultText});
  if (answers.empty()) return QString();
  QString answer = answers.front();
  answers.pop_front();
  return answer;
}

QStringList Volumes::mountPaths() {
  if (listingError != 0) platform::raise(listingError);
  return mounts;
}

int Volumes::probe(const QString& mountPath) {
  probed.append(mountPath);
  const auto failure = failures.find(mountPath);
  return failure == failures.end() ? 0 : failure->second;
}

QString FileDialog::show(const platform::FileDialogRequest& request) {
  requests.push_back(request);
  if (answers.empty()) return QString();
  QString answer = answers.front();
  answers.pop_front();
  return answer;
}

Installed install() {
  Installed fakes;
  platform::installSeams(
      platform::Seams{fakes.messageBox, fakes.inputBox, fakes.screen, fakes.volumes, fakes.processExit,
                      fakes.programStart, fakes.fileDialog});
  return fakes;
}

}  // namespace fakes
