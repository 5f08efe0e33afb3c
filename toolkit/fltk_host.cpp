#include "toolkit/fltk_host.h"

// The models come before the X11 headers, which define None as a macro.
#include "platform/cp1252.h"
#include "platform/trace_text.h"
#include "toolkit/bmp.h"
#include "toolkit/clicks.h"
#include "toolkit/fltk_fonts.h"
#include "toolkit/forms.h"
#include "toolkit/resample.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>

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

const RgbImage& BitmapImage(TBitmap bitmap) {
  static const std::array<RgbImage, 6> images = {RgbImage{},
                                                 DecodeBmp(kAsset_leiste, kAsset_leiste_size),
                                                 DecodeBmp(kAsset_logo, kAsset_logo_size),
                                                 DecodeBmp(kAsset_fahne_eng, kAsset_fahne_eng_size),
                                                 DecodeBmp(kAsset_fahne_ger, kAsset_fahne_ger_size),
                                                 DecodeBmp(kAsset_pfeil, kAsset_pfeil_size)};
  return images[static_cast<std::size_t>(bitmap)];
}

// Draws `bitmap` into the layout box `box` of a window zoomed by `zoom`:
// stretched to the box when `stretch`, else at its own size from the box's
// corner, cut to the box; resampled with the bitmap's filter when the zoom
// is not 1. The resampled pictures are kept for the next frame.
void DrawImage(TBitmap bitmap, const TRect& box, bool stretch, const TZoom& zoom) {
  const RgbImage& image = BitmapImage(bitmap);
  if (image.Empty()) return;
  const int sourceWidth = stretch ? image.Width : std::min(image.Width, box.Width);
  const int sourceHeight = stretch ? image.Height : std::min(image.Height, box.Height);
  const TRect target = zoom.Scaled(
      {box.Left, box.Top, stretch ? box.Width : sourceWidth, stretch ? box.Height : sourceHeight});
  if (target.Width <= 0 || target.Height <= 0) return;
  static std::map<std::tuple<TBitmap, int, int>, RgbImage> resampled;
  auto [entry, added] = resampled.try_emplace({bitmap, target.Width, target.Height});
  if (added) {
    entry->second =
        Resample(image, sourceWidth, sourceHeight, target.Width, target.Height, FilterFor(bitmap));
  }
  const RgbImage& drawn = entry->second;
  if (drawn.Empty()) return;
  fl_draw_image(drawn.Pixels.data(), target.Left, target.Top, drawn.Width, drawn.Height,
                drawn.Channels);
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

// Draws a label's text in the font set, in its box `b` on the screen.
void DrawText(const TControl& c, const TRect& b, const std::string& utf8, Fl_Color ink) {
  fl_color(ink);
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

// Draws a button, its caption in the font set; the focus mark stands `inset`
// pixels inside its edge.
void DrawButton(const TWindow& window, const TControl& c, bool focused, int inset) {
  const TRect& b = c.Bounds;
  const bool pressed = window.Pressed() == &c;
  fl_draw_box(pressed ? FL_DOWN_BOX : FL_UP_BOX, b.Left, b.Top, b.Width, b.Height,
              FL_BACKGROUND_COLOR);
  fl_color(fl_contrast(FL_FOREGROUND_COLOR, FL_BACKGROUND_COLOR));
  const std::string utf8 = Cp1252ToUtf8(c.Caption);
  fl_draw(utf8.c_str(), b.Left + (pressed ? 1 : 0), b.Top + (pressed ? 1 : 0), b.Width, b.Height,
          FL_ALIGN_CENTER);
  if (focused) {
    fl_line_style(FL_DOT);
    fl_rect(b.Left + inset, b.Top + inset, b.Width - 2 * inset, b.Height - 2 * inset);
    fl_line_style(0);
  }
}

// The keys the windows use, by FLTK key code. F4 counts with Alt only, Tab
// with Shift is Shift+Tab.
constexpr std::array<std::pair<int, TKey>, 10> kKeys = {{
    {FL_Tab, TKey::Tab},
    {FL_Enter, TKey::Enter},
    {FL_KP_Enter, TKey::Enter},
    {' ', TKey::Space},
    {FL_Escape, TKey::Escape},
    {FL_F + 4, TKey::AltF4},
    {FL_Up, TKey::Up},
    {FL_Down, TKey::Down},
    {FL_Home, TKey::Home},
    {FL_End, TKey::End},
}};

// The keys held down, by FLTK key code, for all windows: a key that goes
// on being held after a prompt closes repeats in the start window.
std::set<int>& KeysDown() {
  static std::set<int> keys;
  return keys;
}

// Takes the keys' state from the server: a key down now and pressed before
// counts as held (its next press is a repeat), and a key released while
// another window or program had the keyboard is released for the models.
void SyncKeysDown(TWindow& model) {
  for (const auto& [code, key] : kKeys) {
    if (Fl::get_key(code)) {
      KeysDown().insert(code);
    } else if (KeysDown().erase(code) != 0) {
      model.KeyUp(key);
    }
  }
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

// The name of the running window manager, as it gives it on its check
// window (_NET_SUPPORTING_WM_CHECK); empty without one.
std::string WindowManagerName() {
  const auto property = [](Window window, const char* name, Atom type) {
    Atom got = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(fl_display, window, XInternAtom(fl_display, name, False), 0, 64, False,
                           type, &got, &format, &count, &after, &data) == Success &&
        data != nullptr) {
      // Xlib hands 32-bit items over as longs.
      const std::size_t size = format == 32 ? count * sizeof(long) : count * format / 8;
      if (got == type) value.assign(reinterpret_cast<const char*>(data), size);
      XFree(data);
    }
    return value;
  };
  const std::string check =
      property(RootWindow(fl_display, fl_screen), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  if (check.size() < sizeof(Window)) return {};
  Window manager = None;
  std::copy_n(check.data(), sizeof manager, reinterpret_cast<char*>(&manager));
  return property(manager, "_NET_WM_NAME", XInternAtom(fl_display, "UTF8_STRING", False));
}

// Brings `window` back from minimised, raises it and gives it the focus:
// asks the window manager when one runs (_NET_ACTIVE_WINDOW), and does
// what it can by itself for when none does.
void Activate(Fl_Window& window) {
  if (!Viewable(window)) window.show();  // mapped again, out of minimised
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = fl_xid(&window);
  request.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
  request.xclient.format = 32;
  request.xclient.data.l[0] = 1;  // from an application
  request.xclient.data.l[1] = static_cast<long>(fl_event_time);
  XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XRaiseWindow(fl_display, fl_xid(&window));
  GiveFocus(window);
}

// The prompt shown modally and the start window beneath it, while a prompt
// is up.
struct ModalPair {
  Fl_Window* Prompt = nullptr;
  Fl_Window* Owner = nullptr;
};
ModalPair& Modal() {
  static ModalPair pair;
  return pair;
}

void BringBackPrompt(void* prompt) {
  if (Modal().Prompt == prompt) Activate(*Modal().Prompt);
}

// Every event passes here first. While a prompt is up, a press on the start
// window (which FLTK then drops), its focus, or its coming back from
// minimised bring the prompt back and raise it, as Windows does for an
// owned modal dialog: the prompt cannot get lost behind or with it. After
// the event, once the window manager has done with the start window.
int DispatchWhileModal(int event, Fl_Window* window) {
  const ModalPair& modal = Modal();
  if (modal.Prompt != nullptr && window == modal.Owner &&
      (event == FL_PUSH || event == FL_FOCUS || event == FL_SHOW)) {
    Fl::add_timeout(0.0, BringBackPrompt, modal.Prompt);
  }
  return Fl::handle_(event, window);
}

// Marks a prompt for the window manager, before it is mapped: a dialog,
// with a title, a border, a window menu and a close box, that can be moved
// and closed but not minimised, maximised, resized or made full-screen
// (its fixed size is in its size hints), and has no task-bar entry.
void MarkAsDialog(Fl_Window& window) {
  const Window xid = fl_xid(&window);
  const auto atom = [](const char* name) { return XInternAtom(fl_display, name, False); };
  // Openbox ignores the minimise and maximise bits of the Motif hints on
  // purpose, and offers to minimise every dialog; minimising a dialog
  // there minimises its main window with it. It takes minimising away only
  // from toolbars and menus, and a window's type is the first of its list
  // that openbox knows: there the prompt is a toolbar first, which keeps
  // its title and close box, and takes the focus. Other window managers
  // would take the toolbar's decorations away, and keep to the hints.
  const Atom types[] = {atom("_NET_WM_WINDOW_TYPE_TOOLBAR"), atom("_NET_WM_WINDOW_TYPE_DIALOG")};
  const bool openbox = WindowManagerName() == "Openbox";
  XChangeProperty(fl_display, xid, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(openbox ? types : types + 1),
                  openbox ? 2 : 1);
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

// Centres `window` on the whole screen, as on Windows, not on its work area.
void CentreOnScreen(Fl_Window& window) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

}  // namespace

// A native window showing one model.
// The window is the model's size zoomed by `zoom`; the prompts, laid out
// for `dpi`, draw their buttons' focus marks as far inside as the layout
// does.
class ModelWindow : public Fl_Double_Window {
 public:
  ModelWindow(FltkHost& host, TWindow& model, TZoom zoom, int dpi)
      : Fl_Double_Window(zoom.Scaled(model.ClientWidth), zoom.Scaled(model.ClientHeight)),
        host_(host),
        model_(model),
        zoom_(zoom),
        focusInset_((4 * dpi + 48) / 96) {
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
      const TRect b = zoom_.Scaled(c.Bounds);
      fl_push_clip(b.Left, b.Top, b.Width, b.Height);
      switch (c.Kind) {
        case TControlKind::Image:
          DrawImage(c.Picture, c.Bounds, c.Stretch, zoom_);
          break;
        case TControlKind::Shape:
          fl_color(FL_BLACK);
          for (int inset = 0; inset < Line(); ++inset) {
            fl_rect(b.Left + inset, b.Top + inset, b.Width - 2 * inset, b.Height - 2 * inset);
          }
          break;
        case TControlKind::Label:
          fl_color(ground);
          fl_rectf(b.Left, b.Top, b.Width, b.Height);
          host_.UseFont(c.Font, zoom_, true);
          DrawText(c, b, Cp1252ToUtf8(c.Caption), ink);
          break;
        case TControlKind::Button:
          host_.UseFont(c.Font, zoom_, true);
          DrawButton(model_, c, model_.Focused() == &c, focusInset_);
          break;
      }
      fl_pop_clip();
    }
    // A dotted mark around the control, one layout pixel outside it.
    for (const auto& control : model_.Controls()) {
      const TRect& c = control->Bounds;
      if (!control->Visible || !control->FocusMark) continue;
      const TRect b = zoom_.Scaled({c.Left - 1, c.Top - 1, c.Width + 2, c.Height + 2});
      fl_color(FL_FOREGROUND_COLOR);
      fl_line_style(FL_DOT);
      for (int inset = 0; inset < Line(); ++inset) {
        fl_rect(b.Left + inset, b.Top + inset, b.Width - 2 * inset, b.Height - 2 * inset);
      }
      fl_line_style(0);
    }
  }

  int handle(int event) override {
    switch (event) {
      case FL_FOCUS:
        SyncKeysDown(model_);
        return 1;
      case FL_LEAVE:
      case FL_UNFOCUS:
        return 1;
      case FL_KEYUP:
        for (const auto& [code, key] : kKeys) {
          if (code == Fl::event_key() && KeysDown().erase(code) != 0) model_.KeyUp(key);
        }
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
  int X() const { return zoom_.Layout(Fl::event_x()); }
  int Y() const { return zoom_.Layout(Fl::event_y()); }
  // A line one layout pixel wide, in screen pixels.
  int Line() const { return std::max(1, zoom_.Scaled(1)); }

  // Passes a key to the model; false for keys the windows do not use. A
  // press of a key that is down already is a repeat. With detectable
  // auto-repeat (FltkHost::Run) X sends no releases between repeats; without
  // it FLTK would pass them on as real releases whenever the repeated press
  // was not yet queued.
  bool Key() {
    const int code = Fl::event_key();
    const auto found = std::find_if(kKeys.begin(), kKeys.end(),
                                    [code](const auto& entry) { return entry.first == code; });
    if (found == kKeys.end()) return false;
    TKey key = found->second;
    if (key == TKey::AltF4 && !Fl::event_state(FL_ALT)) return false;
    if (key == TKey::Tab && Fl::event_state(FL_SHIFT)) key = TKey::ShiftTab;
    const bool repeat = !KeysDown().insert(code).second;
    model_.KeyDown(key, repeat);
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
  const TZoom zoom_;
  const int focusInset_;
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
  SetUpFltkFonts();
}

TZoom FltkHost::Zoom(const TWindow& window) {
  if (window.FrameKind == TWindow::Frame::Dialog) return {};
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  return WindowZoom(LogicalDpi(), window.ClientWidth, window.ClientHeight, w, h);
}

ModelWindow& FltkHost::NativeWindow(TWindow& window) {
  auto& native = windows_[&window];
  if (!native) {
    native = std::make_unique<ModelWindow>(*this, window, Zoom(window), LogicalDpi());
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
  // A held key sends presses alone: no release comes before the key is let go.
  XkbSetDetectableAutoRepeat(fl_display, True, nullptr);
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
  SyncKeysDown(mainWindow);
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
  SyncKeysDown(window);
  ShowFocused(native, true);
  ApplyCursor(native);
  Modal() = {&native, main_ != nullptr ? &NativeWindow(*main_) : nullptr};
  Fl::event_dispatch(DispatchWhileModal);
  access_.Shown(window, true);
  access_.FocusMoved(window);
  while (!window.ModalDone() && !quit_ && native.shown()) Fl::wait();
  Fl::event_dispatch(nullptr);
  Modal() = {};
  Fl::remove_timeout(BringBackPrompt);
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
  UseFont(font, {});
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

void FltkHost::UseFont(const TFont& font, TZoom zoom, bool drawing) {
  Fitted& fitted = Fit(font, zoom);
  SetFltkFont(font, fitted.Size);
  if (drawing && !fitted.Traced) {
    fitted.Traced = true;
    if (trace_) TraceFont(font, zoom, fitted.Size);
  }
}

FltkHost::Fitted& FltkHost::Fit(const TFont& font, TZoom zoom) {
  const auto [entry, added] =
      fitted_.try_emplace({font.Name, font.Bold, font.Height, zoom.Num, zoom.Den},
                          Fitted{zoom.Scaled(font.Height), false});
  Fitted& fitted = entry->second;
  if (!added) return fitted;
  SetFonts();
  const int smallest = std::max(1, fitted.Size * 3 / 4);
  for (;; --fitted.Size) {
    SetFltkFont(font, fitted.Size);
    if (fitted.Size <= smallest || Fullest(font, zoom).Share <= 1) break;
  }
  return fitted;
}

FltkHost::Fill FltkHost::Fullest(const TFont& font, TZoom zoom) const {
  Fill fullest;
  for (const Text& text : texts_) {
    if (text.Font.Name != font.Name || text.Font.Bold != font.Bold ||
        text.Font.Height != font.Height) {
      continue;
    }
    Fill fill{&text, 0, 0, zoom.Scaled(text.Width), zoom.Scaled(text.Height), 0};
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
void FltkHost::TraceFont(const TFont& font, TZoom zoom, int size) const {
  std::string event = "font " + font.Name + (font.Bold ? " bold " : " ") +
                      std::to_string(zoom.Scaled(font.Height)) +
                      " px: " + FltkFace(SetFltkFont(font, size), size) + " at " +
                      std::to_string(size) + " px";
  const Fill fill = Fullest(font, zoom);
  if (fill.Most != nullptr) {
    event += "; " + TraceQuoted(fill.Most->Caption) + " fills " + std::to_string(fill.Width) +
             " x " + std::to_string(fill.Height) + " of " + std::to_string(fill.RoomWidth) + " x " +
             std::to_string(fill.RoomHeight);
  }
  trace_(event);
}
