#include "toolkit/forms.h"

#include <algorithm>

#include "toolkit/host.h"

TApplication* Application = nullptr;

// ---------------------------------------------------------------- TWindow

TWindow::TWindow(std::string name, Frame frame, int clientWidth, int clientHeight)
    : Name(std::move(name)),
      Caption(Name),
      FrameKind(frame),
      ClientWidth(clientWidth),
      ClientHeight(clientHeight),
      Font{"MS Sans Serif", 11, false} {}

TControl& TWindow::Add(std::string name, TControlKind kind, TRect bounds) {
  controls_.push_back(std::make_unique<TControl>(std::move(name), kind, bounds));
  controls_.back()->Font = Font;
  return *controls_.back();
}

TControl* TWindow::ControlAt(int x, int y) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    if ((*it)->Visible && (*it)->Bounds.Contains(x, y)) return it->get();
  }
  return nullptr;
}

void TWindow::Invalidate() {
  if (Application != nullptr) Application->Backend().Invalidate(*this);
}

void TWindow::SetCaption(TControl& control, const std::string& text) {
  control.Caption = text;
  if (control.AutoSize) Measure(control);
  Invalidate();
}

void TWindow::Measure(TControl& control) {
  if (Application == nullptr) return;
  Host& host = Application->Backend();
  if (host.TextMeasurable()) {
    control.Bounds.Width = host.TextWidth(control.Font, control.Caption);
  } else {
    measureOnShow_ = true;
  }
}

void TWindow::MeasureMarked() {
  if (!measureOnShow_ || Application == nullptr) return;
  measureOnShow_ = false;
  for (const auto& control : controls_) {
    if (control->AutoSize) {
      control->Bounds.Width = Application->Backend().TextWidth(control->Font, control->Caption);
    }
  }
}

void TWindow::SetVisible(TControl& control, bool visible) {
  if (control.Visible == visible) return;
  control.Visible = visible;
  if (!visible && pressTarget_ == &control) pressTarget_ = pressed_ = nullptr;
  if (!visible && captured_ == &control) {
    captured_ = nullptr;
    buttonHeld_ = false;
  }
  Invalidate();
}

void TWindow::SetTop(TControl& control, int top) {
  control.Bounds.Top = top;
  Invalidate();
}

void TWindow::SetWindowCaption(const std::string& text) {
  Caption = text;
  Invalidate();
}

bool TWindow::AcceptsInput() const {
  if (Application == nullptr || Application->Terminated() || !showing_) return false;
  const TWindow* modal = Application->ModalWindow();
  return modal == nullptr || modal == this;
}

void TWindow::MouseMove(int x, int y) {
  if (!AcceptsInput()) return;
  TControl* control = ControlAt(x, y);
  if (pressTarget_ != nullptr && pressTarget_->Kind == TControlKind::Button) {
    TControl* pressed = control == pressTarget_ ? control : nullptr;
    if (pressed != pressed_) {
      pressed_ = pressed;
      Invalidate();
    }
  }
  TControl* receiver = buttonHeld_ ? captured_ : control;
  if (receiver == nullptr) {
    FormMouseMove();
  } else if (receiver->OnMouseMove) {
    receiver->OnMouseMove(*receiver);
  }
}

void TWindow::MouseDown(int x, int y, int clickCount) {
  if (!AcceptsInput()) return;
  TControl* control = ControlAt(x, y);
  buttonHeld_ = true;
  captured_ = control;
  pressTarget_ = clickCount == 1 ? control : nullptr;
  if (control != nullptr && control->Kind == TControlKind::Button) {
    const bool moved = focused_ != control;
    focused_ = control;
    pressed_ = pressTarget_;
    Invalidate();
    if (moved) FocusMoved();
  }
}

void TWindow::MouseUp(int x, int y) {
  TControl* target = pressTarget_;
  pressTarget_ = nullptr;
  buttonHeld_ = false;
  captured_ = nullptr;
  if (pressed_ != nullptr) {
    pressed_ = nullptr;
    Invalidate();
  }
  if (target == nullptr || !AcceptsInput()) return;
  if (ControlAt(x, y) == target) Click(*target);
}

void TWindow::Click(TControl& control) {
  if (control.OnClick) control.OnClick(control);
}

void TWindow::AccessibleAction(TControl& control) {
  if (AcceptsInput() && control.Visible) Click(control);
}

void TWindow::FocusMoved() {
  if (Application != nullptr) Application->Backend().FocusMoved(*this);
}

void TWindow::FocusNext(int step) {
  std::vector<TControl*> order;
  for (const auto& c : controls_) {
    if (c->TabOrder >= 0 && c->Visible) order.push_back(c.get());
  }
  if (order.empty()) return;
  std::stable_sort(order.begin(), order.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder < b->TabOrder; });
  auto it = std::find(order.begin(), order.end(), focused_);
  const int n = static_cast<int>(order.size());
  const int index = it == order.end() ? 0 : static_cast<int>(it - order.begin());
  focused_ = order[static_cast<std::size_t>(((index + step) % n + n) % n)];
  Invalidate();
  FocusMoved();
}

void TWindow::KeyDown(TKey key, bool repeat) {
  if (!AcceptsInput() || FormKeyDown(key, repeat)) return;
  switch (key) {
    case TKey::Tab:
      FocusNext(1);
      break;
    case TKey::ShiftTab:
      FocusNext(-1);
      break;
    case TKey::Enter:
    case TKey::Space:
      if (focused_ != nullptr) Click(*focused_);
      break;
    case TKey::Escape:
    case TKey::Up:
    case TKey::Down:
    case TKey::Home:
    case TKey::End:
      break;
    case TKey::AltF4:
      CloseRequest();
      break;
  }
}

void TWindow::CloseRequest() {
  if (!AcceptsInput()) return;
  Close();
}

void TWindow::Show() {
  if (showing_) return;
  MeasureMarked();
  showing_ = true;
  FormShow();
  Invalidate();
}

void TWindow::ShowModal() {
  if (Application == nullptr || showing_) return;
  MeasureMarked();
  TApplication& app = *Application;
  TWindow* outer = app.modalWindow_;
  const TCursor saved = app.cursor_;
  app.modalWindow_ = this;
  app.SetCursor(TCursor::Default);
  modal_ = true;
  modalDone_ = false;
  showing_ = true;
  focused_ = nullptr;
  pressed_ = pressTarget_ = captured_ = nullptr;
  buttonHeld_ = false;
  FocusNext(0);
  app.Backend().RunModal(*this);
  showing_ = false;
  modal_ = false;
  app.modalWindow_ = outer;
  app.SetCursor(saved);
}

void TWindow::Close() {
  FormClose();
  if (modal_) {
    modalDone_ = true;
    return;
  }
  showing_ = false;
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

// ----------------------------------------------------------------- TTimer

void TTimer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  ++changes_;
  if (Application != nullptr) Application->Backend().TimerChanged(*this);
}

void TTimer::Fire() {
  if (!enabled_ || Application == nullptr || Application->Terminated()) return;
  const unsigned changes = changes_;
  if (OnTimer) OnTimer();
  // A timer whose handler left it alone fires again one interval later.
  if (enabled_ && changes_ == changes && Application != nullptr && !Application->Terminated()) {
    Application->Backend().TimerChanged(*this);
  }
}

// ----------------------------------------------------------- TApplication

TApplication::TApplication(Host& host) : host_(host) {
  Application = this;
}

TApplication::~TApplication() {
  if (Application == this) Application = nullptr;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  host_.TitleChanged(title_);
}

void TApplication::SetCursor(TCursor cursor) {
  if (cursor_ == cursor) return;
  cursor_ = cursor;
  host_.CursorChanged(cursor_);
}

void TApplication::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  host_.Quit();
}

// ------------------------------------------------------------ enlargement

int WindowEnlargement(int dpi, int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0 || height <= 0) return 1;
  return std::max(1, std::min({dpi / 96, screenWidth / width, screenHeight / height}));
}
