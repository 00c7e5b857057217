#include "support/FakeSeams.h"

#include "platform/desktop/RuntimeError.h"

#include <utility>

namespace fakes {

namespace {

// The next scripted answer; once they are used up, the given one.
template <class Answer>
Answer next(std::deque<Answer>& answers, Answer whenUsedUp) {
  if (answers.empty()) return whenUsedUp;
  Answer answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

int MessageBox::show(const QString& prompt, int style, const QString& title) {
  calls.push_back({prompt, style, title});
  if (meanwhile) meanwhile();
  return next(answers, int{platform::msgbox::Ok});
}

QString InputBox::ask(const QString& prompt, const QString& title, const QString& defaultText) {
  calls.push_back({prompt, title, defaultText});
  return next(answers, QString());
}

QStringList Volumes::mountPaths() {
  if (listingError != 0) platform::raise(listingError);
  return mounts;
}

int Volumes::probe(const QString& mountPath) {
  const auto failure = failures.find(mountPath);
  return failure == failures.end() ? 0 : failure->second;
}

QString FileDialog::show(const platform::FileDialogRequest& request) {
  requests.push_back(request);
  return next(answers, QString());
}

Installed install() {
  Installed fakes;
  platform::installSeams(
      platform::Seams{fakes.messageBox, fakes.inputBox, fakes.screen, fakes.volumes, fakes.processExit,
                      fakes.programStart, fakes.fileDialog});
  return fakes;
}

}  // namespace fakes
