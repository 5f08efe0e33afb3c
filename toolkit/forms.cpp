#include "toolkit/forms.h"

#include <algorithm>
#include <numeric>

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

TWindow::~TWindow() {
  if (Application == nullptr) return;
  for (TWindow*& taker : Application->keyTakers_) {
    if (taker == this) taker = nullptr;
  }
}

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

namespace {

// The physical key behind `key`: Tab with or without Shift is one key.
std::size_t KeyIndex(TKey key) {
  return static_cast<std::size_t>(key == TKey::ShiftTab ? TKey::Tab : key);
}

}  // namespace

void TWindow::KeyDown(TKey key, bool repeat) {
  if (!AcceptsInput()) return;
  TWindow*& taker = Application->keyTakers_[KeyIndex(key)];
  if (!repeat) {
    taker = this;
  } else if (taker != this || key == TKey::Enter || key == TKey::Space) {
    return;
  }
  if (FormKeyDown(key)) return;
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

void TWindow::KeyUp(TKey key) {
  if (Application != nullptr) Application->keyTakers_[KeyIndex(key)] = nullptr;
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

// ------------------------------------------------------------------ zoom

namespace {

// Quotients rounded down and up, also for negative numerators (the
// denominator is positive).
int FloorDiv(long long a, long long b) {
  return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b));
}
int CeilDiv(long long a, long long b) {
  return -FloorDiv(-a, b);
}

}  // namespace

int TZoom::Scaled(int value) const {
  return FloorDiv(2LL * value * Num + Den, 2LL * Den);
}

TRect TZoom::Scaled(const TRect& r) const {
  const int left = Scaled(r.Left);
  const int top = Scaled(r.Top);
  return {left, top, Scaled(r.Left + r.Width) - left, Scaled(r.Top + r.Height) - top};
}

int TZoom::Layout(int value) const {
  // Pixel p lies in layout pixel L when Scaled(L) <= p < Scaled(L + 1),
  // that is when L * Num / Den < p + 1/2 <= (L + 1) * Num / Den.
  return CeilDiv((2LL * value + 1) * Den, 2LL * Num) - 1;
}

TZoom WindowZoom(int dpi, int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0 || height <= 0) return {};
  const auto fits = [&](long long num, long long den) {
    return width * num <= screenWidth * den && height * num <= screenHeight * den;
  };
  if (dpi >= 120 && dpi < 192 && fits(dpi, 96)) {
    const int common = std::gcd(dpi, 96);
    return {dpi / common, 96 / common};
  }
  return {std::max(1, std::min({dpi / 96, screenWidth / width, screenHeight / height})), 1};
}
