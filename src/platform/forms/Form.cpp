#include "platform/forms/Form.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Seams.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/Control.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace platform {

namespace {

std::vector<QPointer<Form>>& allForms() {
  static std::vector<QPointer<Form>> forms;
  return forms;
}

// The character a key gives, as Form_KeyPress sees it; 0 for keys that give none.
std::int16_t keyAsciiOf(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    default: break;
  }
  const QString text = event.text();
  if (text.isEmpty() || text.at(0).unicode() > 0x7FFF || text.at(0).unicode() < 0x20) return 0;
  return static_cast<std::int16_t>(text.at(0).unicode());
}

}  // namespace

// While a form shown modally is still loading, it takes the input before it
// appears: keys go to its Form_KeyPress, everything else meant for the
// program's windows (clicks, wheel, shortcuts, the close box) is dropped, as
// a window behind a modal one drops it.
class Form::InputHold final : public QObject {
 public:
  explicit InputHold(Form* form) : form_(form) { qApp->installEventFilter(this); }
  ~InputHold() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        form_->previewKey(*static_cast<QKeyEvent*>(event));
        return true;
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
        return true;
      case QEvent::Close:
        return event->spontaneous();
      default:
        return false;
    }
  }

 private:
  Form* form_;
};

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {
  allForms().emplace_back(this);
  // Windows are laid out in twips for an 8-point font; larger text would not fit.
  // Arial's metrics fit best; fall back to what the desktop has. Glyphs fitted
  // to whole pixels keep small text crisp and as narrow as the layout needs.
  QFont designFont = font();
  designFont.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                          designFont.family()});
  designFont.setPointSizeF(8);
  designFont.setHintingPreference(QFont::PreferFullHinting);
  setFont(designFont);
  setAttribute(Qt::WA_DeleteOnClose, false);
}

Form::~Form() {
  releaseInput();
  if (modalLoop_) modalLoop_->quit();
  if (keyPreview_ && qApp) qApp->removeEventFilter(this);
  auto& forms = allForms();
  forms.erase(std::remove_if(forms.begin(), forms.end(), [this](const QPointer<Form>& f) { return !f || f == this; }),
              forms.end());
}

void Form::load() {
  if (loaded_) return;
  loaded_ = true;
  Form_Load();
}

void Form::showForm(Modality modality) {
  load();
  if (discarded_) return;
  if (loading_) {
    showWhenLoaded_ = modality;
    if (modality == Modality::Modeless) return;
    inputHold_ = std::make_unique<InputHold>(this);
    runModalLoop();
    return;
  }
  if (modality == Modality::Modeless) {
    QWidget::show();
    return;
  }
  setWindowModality(Qt::ApplicationModal);
  QWidget::show();
  runModalLoop();
}

void Form::loadingContinues() { loading_ = true; }

void Form::loadingFinished() {
  if (!loading_ || discarded_) return;
  loading_ = false;
  releaseInput();
  if (showWhenLoaded_) {
    if (*showWhenLoaded_ == Modality::Modal) setWindowModality(Qt::ApplicationModal);
    QWidget::show();
  }
  const std::vector<std::function<void()>> actions = std::move(whenLoaded_);
  whenLoaded_.clear();
  for (const auto& action : actions) action();
}

void Form::whenLoaded(std::function<void()> action) {
  if (discarded_) return;
  if (loading_)
    whenLoaded_.push_back(std::move(action));
  else
    action();
}

// The hold may be in the middle of passing a key on (Esc unloads the form):
// it goes once that is done.
void Form::releaseInput() {
  if (!inputHold_) return;
  qApp->removeEventFilter(inputHold_.get());
  inputHold_.release()->deleteLater();
}

void Form::runModalLoop() {
  QPointer<Form> guard(this);
  QEventLoop loop;
  modalLoop_ = &loop;
  loop.exec();
  if (guard) {
    modalLoop_ = nullptr;
    setWindowModality(Qt::NonModal);
  }
}

void Form::hideForm() { QWidget::hide(); }

void Form::unload() {
  if (discarded_) return;
  std::int16_t cancel = 0;
  if (loaded_) Form_Unload(cancel);
  if (cancel != 0 || discarded_) return;
  discard();
}

void Form::discard() {
  if (discarded_) return;
  discarded_ = true;
  loaded_ = false;
  loading_ = false;
  whenLoaded_.clear();
  releaseInput();
  forgetDefaultInstance();
  QWidget::hide();
  if (modalLoop_) modalLoop_->quit();
  deleteLater();
}

void Form::forgetDefaultInstance() {
  if (forgetInstance_) forgetInstance_();
  forgetInstance_ = nullptr;
}

void Form::setClientSize(float width, float height) {
  windowWidth_ = width + frameWidth_;
  windowHeight_ = height + frameHeight_;
  applyWindowSize();
}

void Form::setFrameAllowance(float width, float height) {
  frameWidth_ = width;
  frameHeight_ = height;
}

void Form::setWindowWidth(float twips) {
  checkedPixels(twips - frameWidth_, Screen::twipsPerPixelX());
  windowWidth_ = twips;
  applyWindowSize();
}

void Form::setWindowHeight(float twips) {
  checkedPixels(twips - frameHeight_, Screen::twipsPerPixelY());
  windowHeight_ = twips;
  applyWindowSize();
}

void Form::applyWindowSize() {
  setFixedSize(std::max(0, twipsToPixelsX(windowWidth_ - frameWidth_)),
               std::max(0, twipsToPixelsY(windowHeight_ - frameHeight_)));
}

void Form::orderTabs(std::initializer_list<const Control*> controls) {
  const Control* previous = nullptr;
  for (const Control* control : controls) {
    if (previous) setTabOrder(previous->widget(), control->widget());
    previous = control;
  }
}

void Form::setKeyPreview(bool on) {
  if (on == keyPreview_) return;
  keyPreview_ = on;
  if (on)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

void Form::setDefaultButton(CommandButton* button) {
  defaultCommand_ = button;
  defaultButton_ = button ? button->widget() : nullptr;
  if (!keyPreview_ && button) qApp->installEventFilter(this);
}

void Form::closeEvent(QCloseEvent* event) {
  if (discarded_) {
    event->accept();
    return;
  }
  std::int16_t cancel = 0;
  if (loaded_) {
    asUserAction([&] { Form_Unload(cancel); });
  }
  if (cancel != 0) {
    event->ignore();
    return;
  }
  event->accept();
  discard();
}

void Form::showEvent(QShowEvent* event) {
  // Shown through QWidget: load it all the same before it appears.
  if (!loaded_ && !discarded_) asUserAction([&] { load(); });
  if (centredOnOwner_ && !event->spontaneous()) {
    const QWidget* owner = QApplication::activeWindow();
    const QRect area = owner && owner != this ? owner->frameGeometry()
                                               : (screen() ? screen()->availableGeometry() : QRect());
    QPoint corner = area.center() - rect().center();
    // Kept on the screen, also for an owner near its edge.
    if (const QScreen* on = screen()) {
      const QRect room = on->availableGeometry();
      corner.setX(std::clamp(corner.x(), room.left(), std::max(room.left(), room.right() - width())));
      corner.setY(std::clamp(corner.y(), room.top(), std::max(room.top(), room.bottom() - height())));
    }
    if (area.isValid()) move(corner);
  }
  QWidget::showEvent(event);
}

void Form::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (modalLoop_ && !event->spontaneous()) modalLoop_->quit();
}

void Form::mouseDoubleClickEvent(QMouseEvent* event) {
  // Only double-clicks on the window itself reach here: controls take theirs.
  asUserAction([&] { Form_DblClick(); });
  event->accept();
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || discarded_) return false;
  auto* target = qobject_cast<QWidget*>(watched);
  // A key event travels from the focused control to its parents; act on its
  // first delivery only, and only for keys typed in this window.
  QWidget* first = focusWidget() ? focusWidget() : this;
  if (!target || target != first) return false;
  auto* key = static_cast<QKeyEvent*>(event);

  QPointer<Form> alive(this);
  previewKey(*key);
  if (!alive || discarded_) return false;

  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  // Enter on a command button presses that button.
  if (auto* focusedButton = qobject_cast<QPushButton*>(target); enter && focusedButton) {
    focusedButton->click();
    return true;
  }
  if (enter && defaultCommand_ && defaultButton_ && defaultButton_->isEnabled() &&
      !qobject_cast<QPushButton*>(target) && !target->property("tavloTakesEnter").toBool()) {
    defaultCommand_->press();
    return true;
  }
  return false;
}

void Form::previewKey(const QKeyEvent& key) {
  if (!keyPreview_) return;
  std::int16_t keyAscii = keyAsciiOf(key);
  if (keyAscii != 0) asUserAction([&] { Form_KeyPress(keyAscii); });
}

void endProgram() {
  for (Form* form : liveForms()) form->discard();
  Screen::setMousePointer(Screen::DefaultPointer);
  seams().processExit->exit(0);
}

void discardAllForms() {
  for (Form* form : liveForms()) form->discard();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<Form*> liveForms() {
  std::vector<Form*> forms;
  for (const QPointer<Form>& form : allForms())
    if (form && !form->discarded_) forms.push_back(form);
  return forms;
}

}  // namespace platform
