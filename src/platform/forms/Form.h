#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

class QEventLoop;
class QKeyEvent;

namespace platform {

class CommandButton;
class Control;

// A window of the program. Loading creates it and runs Form_Load without
// showing it; showing loads it first when needed; unloading runs Form_Unload
// and destroys it. Closing the window in any way is an unload.
//
// The form's own operations have names of their own (showForm, hideForm):
// QWidget's show() and hide() are not virtual, and a call through a QWidget
// pointer would skip loading and the modal loop. A window shown that way
// still loads before it appears.
class Form : public QWidget {
 public:
  enum class Modality { Modeless, Modal };

  ~Form() override;

  bool isLoaded() const { return loaded_; }
  void load();
  // A modal show returns once the form is hidden or unloaded. A form whose
  // loading goes on in the background appears once it has loaded; shown
  // modally, it takes the input from then on: keys go to its Form_KeyPress,
  // every other input to the program's windows is dropped.
  void showForm(Modality modality = Modality::Modeless);
  // Whether Form_Load goes on in the background.
  bool isLoading() const { return loading_; }
  // Runs the action once the form has loaded (at once when it has); never
  // when it is unloaded before.
  void whenLoaded(std::function<void()> action);
  void hideForm();
  // Runs Form_Unload; unless it cancels, the form is destroyed and its
  // default instance is created anew on next use.
  void unload();

  QString caption() const { return windowTitle(); }
  void setCaption(const QString& caption) { setWindowTitle(caption); }
  // The client area's size in twips.
  void setClientSize(float width, float height);
  // The window's outer size in twips: the client area plus the room given
  // to the frame and title bar, which is fixed whatever frame the desktop draws.
  void setFrameAllowance(float width, float height);
  float windowWidth() const { return windowWidth_; }
  float windowHeight() const { return windowHeight_; }
  // Raise the invalid property value error for a size the window cannot take.
  void setWindowWidth(float twips);
  void setWindowHeight(float twips);
  // Form_KeyPress sees each character before the control with the focus;
  // it does not take it away from that control.
  void setKeyPreview(bool on);
  // Enter presses this button unless a command button, or a control that takes Enter
  // itself, has the focus.
  void setDefaultButton(CommandButton* button);
  // Tab moves through these controls in this order.
  void orderTabs(std::initializer_list<const Control*> controls);
  // Each showing centres the window on the window it is shown from, or on
  // the screen when there is none.
  void setCentredOnOwner(bool on) { centredOnOwner_ = on; }

 protected:
  explicit Form(QWidget* parent = nullptr);

  virtual void Form_Load() {}
  // For a Form_Load whose work goes on in the background: the form counts as
  // loading, and appears as it was asked to, until loadingFinished().
  void loadingContinues();
  void loadingFinished();
  virtual void Form_Unload(std::int16_t& cancel) { (void)cancel; }
  virtual void Form_KeyPress(std::int16_t& keyAscii) { (void)keyAscii; }
  virtual void Form_DblClick() {}

  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QWidget::hide;
  using QWidget::show;

  friend void endProgram();
  friend void discardAllForms();
  friend std::vector<Form*> liveForms();
  void forgetDefaultInstance();
  void discard();

  void applyWindowSize();
  void runModalLoop();
  void releaseInput();
  void previewKey(const QKeyEvent& key);
  class InputHold;

  float frameWidth_ = 0, frameHeight_ = 0;
  float windowWidth_ = 0, windowHeight_ = 0;
  bool loaded_ = false;
  bool loading_ = false;
  std::optional<Modality> showWhenLoaded_;
  std::vector<std::function<void()>> whenLoaded_;
  std::unique_ptr<InputHold> inputHold_;
  bool discarded_ = false;
  bool keyPreview_ = false;
  bool centredOnOwner_ = false;
  QPointer<QWidget> defaultButton_;
  CommandButton* defaultCommand_ = nullptr;
  QEventLoop* modalLoop_ = nullptr;
  std::function<void()> forgetInstance_;

  template <class F>
  friend class DefaultInstance;
};

// Each form has one default instance for the run, created on first use and
// created anew after it was unloaded.
template <class F>
class DefaultInstance {
 public:
  static F& get() {
    if (!instance()) {
      instance() = new F();
      instance()->forgetInstance_ = [] { instance() = nullptr; };
    }
    return *instance();
  }
  static bool exists() { return !instance().isNull(); }

 private:
  static QPointer<F>& instance() {
    static QPointer<F> current;
    return current;
  }
};

// Ends the program: every window is destroyed without its unload handling
// and the process is left through the process exit seam.
void endProgram();
// Destroys every window without its unload handling; for starting a new run.
void discardAllForms();
// Windows that exist now, loaded or not.
std::vector<Form*> liveForms();

}  // namespace platform
