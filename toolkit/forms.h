// Platform-neutral window models: windows, their controls, timers and the
// application object. Backends draw these and feed them raw input; all the
// decisions (hit-testing, stacking, focus, keys, clicks, cursor) live here.
//
// All texts are 8-bit, code page 1252.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Host;

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool Contains(int x, int y) const {
    return x >= Left && y >= Top && x < Left + Width && y < Top + Height;
  }
};

// How the layout pixels of a window map to screen pixels: Num / Den screen
// pixels a layout pixel (1/1 unscaled, 2/1 doubled, 144/96 at 150 %).
struct TZoom {
  int Num = 1;
  int Den = 1;
  // A layout coordinate on the screen, rounded to the nearest pixel (halves
  // up).
  int Scaled(int value) const;
  // A box on the screen: its edges are scaled, so boxes that touch in the
  // layout touch on the screen.
  TRect Scaled(const TRect& r) const;
  // The layout pixel that screen pixel `value` belongs to: the one whose
  // scaled extent holds it, also left of and above the window.
  int Layout(int value) const;
};

struct TFont {
  std::string Name;
  int Height = 0;  // character height in pixels
  bool Bold = false;
};

enum class TCursor { Default, Hand };
enum class TControlKind { Image, Shape, Label, Button };
enum class TAlignment { Left, Right };
enum class TBitmap { None, Leiste, Logo, FahneEng, Fahneger, Pfeil };
enum class TKey { Tab, ShiftTab, Enter, Space, Escape, AltF4, Up, Down, Home, End };
inline constexpr std::size_t kKeyCount = 10;
// What a control is to a screen reader (toolkit/access.h); None leaves it out.
enum class TAccessRole { None, Link, PushButton, StaticText };

class TControl {
 public:
  using Handler = std::function<void(TControl& sender)>;

  TControl(std::string name, TControlKind kind, TRect bounds)
      : Name(std::move(name)),
        Kind(kind),
        Bounds(bounds),
        AccessRole(kind == TControlKind::Button  ? TAccessRole::PushButton
                   : kind == TControlKind::Label ? TAccessRole::StaticText
                                                 : TAccessRole::None) {}

  std::string Name;
  TControlKind Kind;
  TRect Bounds;
  bool Visible = true;
  std::string Caption;  // labels and buttons
  TFont Font;
  TAlignment Alignment = TAlignment::Left;
  bool WordWrap = false;
  bool AutoSize = false;  // labels: width follows the text, one line
  bool Stretch = false;   // images: drawn stretched to the bounds
  TBitmap Picture = TBitmap::None;
  int TabOrder = -1;       // buttons: position in the tab order
  bool FocusMark = false;  // a dotted rectangle around it shows the keyboard focus
  // Buttons are push buttons and labels static text unless set otherwise.
  TAccessRole AccessRole;

  Handler OnMouseMove;
  Handler OnClick;
};

class TWindow {
 public:
  enum class Frame { None, Dialog };

  TWindow(std::string name, Frame frame, int clientWidth, int clientHeight);
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  std::string Name;
  std::string Caption;  // the window text
  Frame FrameKind;
  int ClientWidth;
  int ClientHeight;
  TFont Font;

  // Controls from bottom to top of the stacking order.
  const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }
  // The topmost visible control under the point, or nullptr.
  TControl* ControlAt(int x, int y) const;

  // Texts and geometry set through these repaint the window.
  void SetCaption(TControl& control, const std::string& text);
  void SetVisible(TControl& control, bool visible);
  void SetTop(TControl& control, int top);
  void SetWindowCaption(const std::string& text);

  // Raw input from a backend, in client coordinates. A press with
  // clickCount > 1 is the second press of a double click and clicks nothing.
  // Between MouseDown and MouseUp the backend passes every move, also those
  // outside the window.
  void MouseMove(int x, int y);
  void MouseDown(int x, int y, int clickCount);
  void MouseUp(int x, int y);
  // A key press; `repeat` when the key was already down: auto-repeat, or a
  // key held since before the window had the keyboard. A window acts only on
  // keys pressed while it takes input: a repeat of a key whose press went
  // elsewhere (to another window or program, or before the window was shown)
  // does nothing until the key is released and pressed again, and a repeat
  // of Enter or Space never presses a button or runs an entry.
  void KeyDown(TKey key, bool repeat = false);
  // A key release, wherever the key was pressed.
  void KeyUp(TKey key);
  // The close box, Alt+F4 or the system's close command.
  void CloseRequest();

  // Shown state and the modal loop.
  bool Showing() const { return showing_; }
  void Show();
  void ShowModal();
  void Close();
  bool ModalDone() const { return modalDone_; }

  // Keyboard focus among the buttons, and the button held down by the mouse.
  TControl* Focused() const { return focused_; }
  TControl* Pressed() const { return pressed_; }
  // The control a screen reader is told has the focus: the focused button,
  // or what the window's own keyboard use selects; nullptr for none.
  virtual const TControl* AccessibleFocus() const { return focused_; }
  // A screen reader's default action on `control`: clicks it.
  void AccessibleAction(TControl& control);

 protected:
  TControl& Add(std::string name, TControlKind kind, TRect bounds);
  void Invalidate();
  void Click(TControl& control);
  // Tells the backend that AccessibleFocus() moved.
  void FocusMoved();
  // Called for mouse moves over no control, and by controls that pass them on.
  virtual void FormMouseMove() {}
  // Keys for a window's own keyboard use; true when the key was used.
  virtual bool FormKeyDown(TKey) { return false; }
  virtual void FormShow() {}
  virtual void FormClose() {}

 private:
  bool AcceptsInput() const;
  void FocusNext(int step);
  // Sizes an auto-size label to its caption, or marks it to be sized when
  // the window is shown if the backend cannot measure yet.
  void Measure(TControl& control);
  void MeasureMarked();

  std::vector<std::unique_ptr<TControl>> controls_;
  bool showing_ = false;
  bool measureOnShow_ = false;
  bool modal_ = false;
  bool modalDone_ = false;
  TControl* focused_ = nullptr;
  TControl* pressed_ = nullptr;
  TControl* pressTarget_ = nullptr;
  // While the left button is held, moves go to where it was pressed (a
  // control, or the background when `captured_` is null), even outside the
  // window.
  bool buttonHeld_ = false;
  TControl* captured_ = nullptr;
};

// A timer of a window: fires once per interval while enabled.
class TTimer {
 public:
  TTimer(std::string name, unsigned interval, std::function<void()> onTimer)
      : Name(std::move(name)), Interval(interval), OnTimer(std::move(onTimer)) {}

  const std::string Name;
  const unsigned Interval;
  std::function<void()> OnTimer;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Called by the backend when the interval has passed.
  void Fire();

 private:
  bool enabled_ = false;
  unsigned changes_ = 0;  // counts SetEnabled changes
};

// The application: its title, the application-wide cursor, the modal window
// and its end. One exists while the program runs.
class TApplication {
 public:
  explicit TApplication(Host& host);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  Host& Backend() { return host_; }

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // The cursor setting, and the cursor in force (the default one while a
  // prompt is shown).
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);

  TWindow* MainForm() const { return mainForm_; }
  void SetMainForm(TWindow* window) { mainForm_ = window; }
  TWindow* ModalWindow() const { return modalWindow_; }

  // Ends the application: the main loop stops at its next turn.
  void Terminate();
  bool Terminated() const { return terminated_; }

 private:
  friend class TWindow;
  Host& host_;
  std::string title_;
  TCursor cursor_ = TCursor::Default;
  TWindow* mainForm_ = nullptr;
  TWindow* modalWindow_ = nullptr;
  bool terminated_ = false;
  // For each key, the window that took its last press while it is held.
  std::array<TWindow*, kKeyCount> keyTakers_{};
};

// The one application object while it exists.
extern TApplication* Application;
