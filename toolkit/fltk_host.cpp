#include "toolkit/fltk_host.h"

// The models come before the X11 headers, which define None as a macro.
#include "platform/cp1252.h"
#include "platform/trace_text.h"
#include "toolkit/bmp.h"
#include "toolkit/clicks.h"
#include "toolkit/forms.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <set>
#include <string_view>
#include <vector>

extern const unsigned char kAsset_leiste[], kAsset_logo[], kAsset_fahne_eng[], kAsset_fahne_ger[],
    kAsset_pfeil[], kAsset_start[];
extern const std::size_t kAsset_leiste_size, kAsset_logo_size, kAsset_fahne_eng_size,
    kAsset_fahne_ger_size, kAsset_pfeil_size, kAsset_start_size;

namespace {

constexpr Fl_Font kSansSerif = FL_FREE_FONT;      // "MS Sans Serif"
constexpr Fl_Font kArial = FL_FREE_FONT + 1;      // "Arial"
constexpr Fl_Font kArialBold = FL_FREE_FONT + 2;  // "Arial", bold

Fl_Font MapFont(const TFont& font) {
  if (font.Name == "Arial") return font.Bold ? kArialBold : kArial;
  return kSansSerif;
}

const RgbImage& BitmapImage(TBitmap bitmap) {
  static const std::array<RgbImage, 6> images = {RgbImage{},
                                                 DecodeBmp(kAsset_leiste, kAsset_leiste_size),
                                                 DecodeBmp(kAsset_logo, kAsset_logo_size),
                                                 DecodeBmp(kAsset_fahne_eng, kAsset_fahne_eng_size),
                                                 DecodeBmp(kAsset_fahne_ger, kAsset_fahne_ger_size),
                                                 DecodeBmp(kAsset_pfeil, kAsset_pfeil_size)};
  return images[static_cast<std::size_t>(bitmap)];
}

// Draws `image` into the layout box `box`, stretched (nearest pixel) when
// `stretch`, else at its own size from the box's corner, clipped to the box;
// each layout pixel `scale` by `scale` screen pixels.
void DrawImage(const RgbImage& image, const TRect& box, bool stretch, int scale) {
  if (image.Empty()) return;
  const int w = (stretch ? box.Width : std::min(image.Width, box.Width)) * scale;
  const int h = (stretch ? box.Height : std::min(image.Height, box.Height)) * scale;
  if (w <= 0 || h <= 0) return;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    const int sy = stretch ? y * image.Height / h : y / scale;
    for (int x = 0; x < w; ++x) {
      const int sx = stretch ? x * image.Width / w : x / scale;
      std::copy_n(&image.Pixels[(static_cast<std::size_t>(sy) * image.Width + sx) * 3], 3,
                  &pixels[(static_cast<std::size_t>(y) * w + x) * 3]);
    }
  }
  fl_draw_image(pixels.data(), box.Left * scale, box.Top * scale, w, h, 3);
}

// Breaks `text` into lines no wider than `width`, at blanks; a word wider
// than the line stands on a line of its own.
std::vector<std::string> WrapLines(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t blank = text.find(' ', i);
    const std::size_t end = blank == std::string::npos ? text.size() : blank;
    const std::string word = text.substr(i, end - i);
    const std::string candidate = line.empty() ? word : line + " " + word;
    if (!line.empty() && fl_width(candidate.c_str()) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
    i = end == text.size() ? end : end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The width in pixels of `utf8` in the font set.
int Width(const std::string& utf8) {
  return static_cast<int>(std::ceil(fl_width(utf8.c_str())));
}

// The width and height in pixels of `utf8` in the font set, on lines as
// DrawText breaks them when `wrap`, at most `width` wide.
std::pair<int, int> Extent(const std::string& utf8, bool wrap, int width) {
  if (!wrap) return {Width(utf8), fl_height()};
  const std::vector<std::string> lines = WrapLines(utf8, width);
  int widest = 0;
  for (const std::string& line : lines) widest = std::max(widest, Width(line));
  return {widest, static_cast<int>(lines.size()) * fl_height()};
}

// Draws a label's text in the font set.
void DrawText(const TControl& c, int scale, const std::string& utf8, Fl_Color ink) {
  fl_color(ink);
  const TRect b = c.Bounds.Scaled(scale);
  const int ascent = fl_height() - fl_descent();
  if (c.WordWrap) {
    int y = b.Top + ascent;
    for (const std::string& line : WrapLines(utf8, b.Width)) {
      fl_draw(line.c_str(), b.Left, y);
      y += fl_height();
    }
    return;
  }
  int x = b.Left;
  if (c.Alignment == TAlignment::Right) {
    x = b.Left + b.Width - static_cast<int>(fl_width(utf8.c_str()));
  }
  fl_draw(utf8.c_str(), x, b.Top + ascent);
}

// Draws a button, its caption in the font set.
void DrawButton(const TWindow& window, const TControl& c, bool focused, int scale) {
  const TRect b = c.Bounds.Scaled(scale);
  const bool pressed = window.Pressed() == &c;
  fl_draw_box(pressed ? FL_DOWN_BOX : FL_UP_BOX, b.Left, b.Top, b.Width, b.Height,
              FL_BACKGROUND_COLOR);
  fl_color(fl_contrast(FL_FOREGROUND_COLOR, FL_BACKGROUND_COLOR));
  const std::string utf8 = Cp1252ToUtf8(c.Caption);
  fl_draw(utf8.c_str(), b.Left + (pressed ? 1 : 0), b.Top + (pressed ? 1 : 0), b.Width, b.Height,
          FL_ALIGN_CENTER);
  if (focused) {
    fl_line_style(FL_DOT);
    fl_rect(b.Left + 4, b.Top + 4, b.Width - 8, b.Height - 8);
    fl_line_style(0);
  }
}

// The keys held down, by FLTK key code, for all windows: a key that goes
// on being held after a prompt closes repeats in the start window.
std::set<int>& KeysDown() {
  static std::set<int> keys;
  return keys;
}

// FLTK keeps borderless windows out of the task bar, as it does menus; the
// start window belongs there. Takes the mark off the mapped `window`, both
// as a property and, for a running window manager, as a request.
void ShowInTaskBar(Fl_Window& window) {
  const Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
  XDeleteProperty(fl_display, fl_xid(&window), state);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = fl_xid(&window);
  request.xclient.message_type = state;
  request.xclient.format = 32;
  request.xclient.data.l[0] = 0;  // remove
  request.xclient.data.l[1] =
      static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False));
  request.xclient.data.l[3] = 1;  // from an application
  XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
}

// Gives the mapped `window` the keyboard. FLTK's take_focus only moves the
// focus among its own windows, and without a window manager nothing gives a
// window the X focus.
// Whether `window` is on the screen: not minimised, hidden or unmapped.
bool Viewable(Fl_Window& window) {
  XWindowAttributes attributes;
  return window.shown() && XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

// Gives `window` the keyboard focus when it can take it; the X server
// refuses it to a window that is not viewable (a minimised one, say).
void GiveFocus(Fl_Window& window) {
  if (!Viewable(window)) return;
  XSetInputFocus(fl_display, fl_xid(&window), RevertToParent, CurrentTime);
  window.take_focus();
}

// Marks a prompt for the window manager, before it is mapped: a dialog,
// with a title, a border, a window menu and a close box, that can be moved
// and closed but not minimised, maximised, resized or made full-screen
// (its fixed size is in its size hints), and has no task-bar entry.
void MarkAsDialog(Fl_Window& window) {
  const Window xid = fl_xid(&window);
  const auto atom = [](const char* name) { return XInternAtom(fl_display, name, False); };
  const Atom type = atom("_NET_WM_WINDOW_TYPE_DIALOG");
  XChangeProperty(fl_display, xid, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);
  const Atom skip = atom("_NET_WM_STATE_SKIP_TASKBAR");
  XChangeProperty(fl_display, xid, atom("_NET_WM_STATE"), XA_ATOM, 32, PropModeAppend,
                  reinterpret_cast<const unsigned char*>(&skip), 1);
  // Motif hints: flags (functions, decorations), functions (move, close),
  // decorations (border, title, menu), input mode, status.
  const long motif[5] = {1 | 2, 4 | 32, 2 | 8 | 16, 0, 0};
  const Atom hints = atom("_MOTIF_WM_HINTS");
  XChangeProperty(fl_display, xid, hints, hints, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif), 5);
}

// Shows `window`; a dialog is marked as one while the server is held, so
// the window manager reads the marks with its map request.
void ShowFocused(Fl_Window& window, bool dialog) {
  if (dialog) XGrabServer(fl_display);
  window.show();
  if (dialog) {
    MarkAsDialog(window);
    XUngrabServer(fl_display);
    XFlush(fl_display);
  }
  window.wait_for_expose();
  GiveFocus(window);
}

// The desktop's double-click time in milliseconds: the setting
// Net/DoubleClickTime of the X settings manager (the settings daemon of the
// desktop) when one runs and has it, else 400.
unsigned DoubleClickTime() {
  constexpr unsigned kDefault = 400;
  const std::string selection = "_XSETTINGS_S" + std::to_string(fl_screen);
  const Window manager =
      XGetSelectionOwner(fl_display, XInternAtom(fl_display, selection.c_str(), False));
  if (manager == None) return kDefault;
  const Atom settings = XInternAtom(fl_display, "_XSETTINGS_SETTINGS", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(fl_display, manager, settings, 0, 0x10000, False, settings, &type, &format,
                         &count, &after, &data) != Success ||
      data == nullptr) {
    return kDefault;
  }
  std::optional<std::int32_t> time;
  if (type == settings && format == 8) {
    time = XSettingsInteger({reinterpret_cast<const char*>(data), count}, "Net/DoubleClickTime");
  }
  XFree(data);
  return time && *time > 0 ? static_cast<unsigned>(*time) : kDefault;
}

// Fontconfig leaves bitmap faces out unless the program adds them itself.
// Reads fontconfig's configuration and caches first, unless done before.
bool AddSansSerif() {
  return FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(
                                             "/usr/share/wine/fonts/ms_sans_serif.ttf")) != FcFalse;
}

// The family and style of the face that fontconfig gives for the FLTK font
// `font` at `size` pixels, matched as FLTK matches it.
std::string Face(Fl_Font font, int size) {
  const char* name = Fl::get_font(font);
  FcPattern* pattern =
      FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, name + 1, FC_WEIGHT, FcTypeInteger,
                     name[0] == 'B' ? FC_WEIGHT_BOLD : FC_WEIGHT_MEDIUM, FC_PIXEL_SIZE,
                     FcTypeDouble, static_cast<double>(size), nullptr);
  FcResult result = FcResultNoMatch;
  FcPattern* match = XftFontMatch(fl_display, fl_screen, pattern, &result);
  FcPatternDestroy(pattern);
  std::string face = "?";
  FcChar8* family = nullptr;
  FcChar8* style = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      FcPatternGetString(match, FC_STYLE, 0, &style) == FcResultMatch) {
    face = reinterpret_cast<const char*>(family) + std::string(" ") +
           reinterpret_cast<const char*>(style);
  }
  if (match != nullptr) FcPatternDestroy(match);
  return face;
}

// Centres `window` on the whole screen, as on Windows, not on its work area.
void CentreOnScreen(Fl_Window& window) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

}  // namespace

// A native window showing one model.
// The window is `scale` times the model's size: every layout pixel is a
// block of `scale` by `scale`.
class ModelWindow : public Fl_Double_Window {
 public:
  ModelWindow(FltkHost& host, TWindow& model, int scale)
      : Fl_Double_Window(model.ClientWidth * scale, model.ClientHeight * scale),
        host_(host),
        model_(model),
        scale_(scale) {
    end();
    if (model.FrameKind == TWindow::Frame::Dialog) {
      size_range(w(), h(), w(), h());
    } else {
      border(0);
    }
    CentreOnScreen(*this);
    callback(OnClose, this);
  }

  void SetTitle(const std::string& cp1252) {
    title_ = Cp1252ToUtf8(cp1252);
    label(title_.c_str());
  }

  // The start window is a picture on white with black texts. A prompt takes
  // the desktop's text and window colours as a pair (FLTK reads them from
  // the X resources foreground and background); text too close to its
  // ground gives way to black or white.
  void draw() override {
    const bool dialog = model_.FrameKind == TWindow::Frame::Dialog;
    const Fl_Color ground = dialog ? FL_BACKGROUND2_COLOR : FL_WHITE;
    const Fl_Color ink = dialog ? fl_contrast(FL_FOREGROUND_COLOR, ground) : FL_BLACK;
    fl_color(ground);
    fl_rectf(0, 0, w(), h());
    for (const auto& control : model_.Controls()) {
      const TControl& c = *control;
      if (!c.Visible) continue;
      const TRect b = c.Bounds.Scaled(scale_);
      fl_push_clip(b.Left, b.Top, b.Width, b.Height);
      switch (c.Kind) {
        case TControlKind::Image:
          DrawImage(BitmapImage(c.Picture), c.Bounds, c.Stretch, scale_);
          break;
        case TControlKind::Shape:
          fl_color(FL_BLACK);
          for (int inset = 0; inset < scale_; ++inset) {
            fl_rect(b.Left + inset, b.Top + inset, b.Width - 2 * inset, b.Height - 2 * inset);
          }
          break;
        case TControlKind::Label:
          fl_color(ground);
          fl_rectf(b.Left, b.Top, b.Width, b.Height);
          host_.UseFont(c.Font, scale_, true);
          DrawText(c, scale_, Cp1252ToUtf8(c.Caption), ink);
          break;
        case TControlKind::Button:
          host_.UseFont(c.Font, scale_, true);
          DrawButton(model_, c, model_.Focused() == &c, scale_);
          break;
      }
      fl_pop_clip();
    }
    for (const auto& control : model_.Controls()) {
      const TRect& b = control->Bounds;
      if (!control->Visible || !control->FocusMark) continue;
      fl_color(FL_FOREGROUND_COLOR);
      fl_line_style(FL_DOT);
      fl_rect(b.Left - 1, b.Top - 1, b.Width + 2, b.Height + 2);
      fl_line_style(0);
    }
  }

  int handle(int event) override {
    switch (event) {
      case FL_FOCUS:
        // Keys released while another program had the keyboard.
        std::erase_if(KeysDown(), [](int key) { return !Fl::get_key(key); });
        return 1;
      case FL_LEAVE:
      case FL_UNFOCUS:
        return 1;
      case FL_KEYUP:
        KeysDown().erase(Fl::event_key());
        return 1;
      case FL_ENTER:  // the pointer's first position inside counts as a move
      case FL_MOVE:
      case FL_DRAG:
        model_.MouseMove(X(), Y());
        return 1;
      case FL_PUSH: {
        if (Fl::event_button() != FL_LEFT_MOUSE) return 1;
        // FLTK's own count takes any press within about a second for the
        // next click of a chain; the desktop's double-click rule decides.
        clicks_.Time = DoubleClickTime();
        const int count = clicks_.Press(static_cast<std::uint32_t>(fl_xevent->xbutton.time),
                                        Fl::event_x_root(), Fl::event_y_root());
        model_.MouseDown(X(), Y(), count);
        return 1;
      }
      case FL_RELEASE:
        if (Fl::event_button() == FL_LEFT_MOUSE) model_.MouseUp(X(), Y());
        return 1;
      case FL_KEYBOARD:
      case FL_SHORTCUT:
        return Key() ? 1 : 0;
      default:
        return Fl_Double_Window::handle(event);
    }
  }

 private:
  // The event's position in layout pixels.
  int X() const { return LayoutPixel(Fl::event_x(), scale_); }
  int Y() const { return LayoutPixel(Fl::event_y(), scale_); }

  // Passes a key to the model; false for keys the windows do not use. A
  // press of a key that is down already is a repeat (FLTK drops the
  // releases X sends between repeats).
  bool Key() {
    const int key = Fl::event_key();
    TKey mapped;
    if (key == FL_F + 4 && Fl::event_state(FL_ALT)) {
      mapped = TKey::AltF4;
    } else if (key == FL_Tab) {
      mapped = Fl::event_state(FL_SHIFT) ? TKey::ShiftTab : TKey::Tab;
    } else if (key == FL_Enter || key == FL_KP_Enter) {
      mapped = TKey::Enter;
    } else if (key == ' ') {
      mapped = TKey::Space;
    } else if (key == FL_Escape) {
      mapped = TKey::Escape;
    } else if (key == FL_Up) {
      mapped = TKey::Up;
    } else if (key == FL_Down) {
      mapped = TKey::Down;
    } else if (key == FL_Home) {
      mapped = TKey::Home;
    } else if (key == FL_End) {
      mapped = TKey::End;
    } else {
      return false;
    }
    const bool repeat = !KeysDown().insert(key).second;
    model_.KeyDown(mapped, repeat);
    return true;
  }

  // The close box or the window manager's close: the model decides. FLTK
  // also calls this for Escape, which closes nothing here.
  static void OnClose(Fl_Widget*, void* self) {
    auto* window = static_cast<ModelWindow*>(self);
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    window->model_.CloseRequest();
  }

  FltkHost& host_;
  TWindow& model_;
  const int scale_;
  std::string title_;
  TClickCounter clicks_;
};

FltkHost::FltkHost() = default;

FltkHost::~FltkHost() = default;

int FltkHost::LogicalDpi() {
  fl_open_display();
  const char* resources = XResourceManagerString(fl_display);
  if (resources == nullptr) return 96;
  // Lines "name:<blanks>value"; the last Xft.dpi wins, as in the resource
  // database.
  int dpi = 96;
  std::string_view rest(resources);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    constexpr std::string_view kKey = "Xft.dpi:";
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    double value = 0;
    const auto [ptr, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    // Values beyond five times either way are mistakes, not settings.
    if (error == std::errc() && value >= 96.0 / 5 && value <= 96.0 * 5) {
      dpi = static_cast<int>(value + 0.5);
    }
  }
  return dpi;
}

void FltkHost::SetFonts() {
  if (fontsSet_) return;
  fontsSet_ = true;
  Fl::set_font(kSansSerif, AddSansSerif() ? " MS Sans Serif" : " Liberation Sans");
  Fl::set_font(kArial, " Arial");
  Fl::set_font(kArialBold, "BArial");
}

int FltkHost::Enlargement(const TWindow& window) {
  if (window.FrameKind == TWindow::Frame::Dialog) return 1;
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  return WindowEnlargement(LogicalDpi(), window.ClientWidth, window.ClientHeight, w, h);
}

ModelWindow& FltkHost::NativeWindow(TWindow& window) {
  auto& native = windows_[&window];
  if (!native) {
    native = std::make_unique<ModelWindow>(*this, window, Enlargement(window));
    native->SetTitle(&window == main_ ? title_ : window.Caption);
    if (&window == main_) native->xclass("orbilex");
  }
  return *native;
}

// The default cursor is the arrow, set on the window: a window without a
// cursor of its own shows the root window's, which without a desktop is
// the X server's cross.
void FltkHost::ApplyCursor(ModelWindow& window) {
  if (window.shown()) window.cursor(cursor_ == TCursor::Hand ? FL_CURSOR_HAND : FL_CURSOR_ARROW);
}

void FltkHost::Run(TWindow& mainWindow) {
  main_ = &mainWindow;
  // Full colour. A double-buffered window uses the server's double buffering
  // by itself where the visual has it; asking for it here as well would add
  // two round trips to the server before the window is shown.
  Fl::visual(FL_RGB);
  // The desktop's text, window and button colours ("foreground",
  // "background" in the X resources), the counterparts of Windows' system
  // colours, for the prompts.
  Fl::get_system_colors();
  ModelWindow& window = NativeWindow(mainWindow);
  mainWindow.Show();
  if (quit_) return;
  // The program's icon for the task bar and the window switcher (the
  // window copies the image).
  const RgbImage icon = DecodeIco(kAsset_start, kAsset_start_size);
  if (!icon.Empty()) {
    const Fl_RGB_Image image(icon.Pixels.data(), icon.Width, icon.Height, icon.Channels);
    window.icon(&image);
  }
  ShowFocused(window, false);
  ApplyCursor(window);
  ShowInTaskBar(window);
  if (access_.Start(title_.c_str())) access_.Shown(mainWindow, true);
  while (!quit_ && Fl::first_window() != nullptr) Fl::wait();
  for (auto& [model, native] : windows_) native->hide();
}

void FltkHost::RunModal(TWindow& window) {
  // A prompt that comes due while the start window is minimised would show
  // over nothing the user sees: the start window comes back first.
  if (main_ != nullptr) {
    ModelWindow& main = NativeWindow(*main_);
    if (main.shown() && !Viewable(main)) {
      main.show();
      main.wait_for_expose();
    }
  }
  ModelWindow& native = NativeWindow(window);
  native.SetTitle(window.Caption);
  CentreOnScreen(native);
  native.set_modal();
  ShowFocused(native, true);
  ApplyCursor(native);
  access_.Shown(window, true);
  access_.FocusMoved(window);
  while (!window.ModalDone() && !quit_ && native.shown()) Fl::wait();
  native.hide();
  access_.Shown(window, false);
  if (main_ != nullptr && !quit_) GiveFocus(NativeWindow(*main_));
}

// FLTK may run a timeout a fraction of a millisecond before its time; a
// timer waits at least its interval, so such a call waits for the rest.
void FltkHost::OnTimer(void* data) {
  Armed& armed = *static_cast<Armed*>(data);
  const std::chrono::duration<double> left = armed.Due - std::chrono::steady_clock::now();
  if (left.count() > 0) {
    Fl::add_timeout(left.count(), OnTimer, data);
    return;
  }
  armed.Timer->Fire();
}

void FltkHost::TimerChanged(TTimer& timer) {
  std::unique_ptr<Armed>& armed = armed_[&timer];
  if (!armed) armed = std::make_unique<Armed>(Armed{&timer, {}});
  Fl::remove_timeout(OnTimer, armed.get());
  if (!timer.Enabled()) return;
  armed->Due = std::chrono::steady_clock::now() + std::chrono::milliseconds(timer.Interval);
  Fl::add_timeout(timer.Interval / 1000.0, OnTimer, armed.get());
}

void FltkHost::Invalidate(TWindow& window) {
  const auto found = windows_.find(&window);
  if (found == windows_.end()) return;
  ModelWindow& native = *found->second;
  if (&window != main_) native.SetTitle(window.Caption);
  native.redraw();
  access_.Changed(window);
}

void FltkHost::CursorChanged(TCursor cursor) {
  cursor_ = cursor;
  for (auto& [model, native] : windows_) ApplyCursor(*native);
}

void FltkHost::TitleChanged(const std::string& title) {
  title_ = title;
  if (main_ != nullptr) NativeWindow(*main_).SetTitle(title_);
}

int FltkHost::TextWidth(const TFont& font, std::string_view text) {
  UseFont(font, 1);
  return static_cast<int>(fl_width(Cp1252ToUtf8(text).c_str()) + 0.5);
}

void FltkHost::FitTexts(const TWindow& window) {
  for (const auto& control : window.Controls()) {
    const TControl& c = *control;
    const bool button = c.Kind == TControlKind::Button;
    if ((!button && c.Kind != TControlKind::Label) || c.Caption.empty()) continue;
    const int width = c.AutoSize ? window.ClientWidth - c.Bounds.Left : c.Bounds.Width;
    texts_.push_back({c.Font, c.Caption, width, c.Bounds.Height, c.WordWrap, button});
  }
  fitted_.clear();
}

void FltkHost::UseFont(const TFont& font, int scale, bool drawing) {
  Fitted& fitted = Fit(font, scale);
  fl_font(MapFont(font), fitted.Size);
  if (drawing && !fitted.Traced) {
    fitted.Traced = true;
    if (trace_) TraceFont(font, scale, fitted.Size);
  }
}

FltkHost::Fitted& FltkHost::Fit(const TFont& font, int scale) {
  const auto [entry, added] = fitted_.try_emplace({font.Name, font.Bold, font.Height, scale},
                                                  Fitted{font.Height * scale, false});
  Fitted& fitted = entry->second;
  if (!added) return fitted;
  SetFonts();
  const int smallest = std::max(1, fitted.Size * 3 / 4);
  for (;; --fitted.Size) {
    fl_font(MapFont(font), fitted.Size);
    if (fitted.Size <= smallest || Fullest(font, scale).Share <= 1) break;
  }
  return fitted;
}

FltkHost::Fill FltkHost::Fullest(const TFont& font, int scale) const {
  Fill fullest;
  for (const Text& text : texts_) {
    if (text.Font.Name != font.Name || text.Font.Bold != font.Bold ||
        text.Font.Height != font.Height) {
      continue;
    }
    Fill fill{&text, 0, 0, text.Width * scale, text.Height * scale, 0};
    if (text.Button) {
      fill.RoomWidth -= Fl::box_dw(FL_UP_BOX);
      fill.RoomHeight -= Fl::box_dh(FL_UP_BOX);
    }
    std::tie(fill.Width, fill.Height) =
        Extent(Cp1252ToUtf8(text.Caption), text.Wrap, fill.RoomWidth);
    fill.Share = std::max(static_cast<double>(fill.Width) / std::max(fill.RoomWidth, 1),
                          static_cast<double>(fill.Height) / std::max(fill.RoomHeight, 1));
    if (fullest.Most == nullptr || fill.Share > fullest.Share) fullest = fill;
  }
  return fullest;
}

// "font Arial bold 12 px: DejaVu Sans Bold at 11 px; "Update Betriebsger\xE4t
// Franck-Hertz" fills 214 x 14 of 229 x 15": the font asked for, the face
// fontconfig gives and the size it is drawn at, and the text that fills its
// room most there, with its extent and room in pixels.
void FltkHost::TraceFont(const TFont& font, int scale, int size) const {
  std::string event = "font " + font.Name + (font.Bold ? " bold " : " ") +
                      std::to_string(font.Height * scale) + " px: " + Face(MapFont(font), size) +
                      " at " + std::to_string(size) + " px";
  const Fill fill = Fullest(font, scale);
  if (fill.Most != nullptr) {
    event += "; " + TraceQuoted(fill.Most->Caption) + " fills " + std::to_string(fill.Width) +
             " x " + std::to_string(fill.Height) + " of " + std::to_string(fill.RoomWidth) + " x " +
             std::to_string(fill.RoomHeight);
  }
  trace_(event);
}
