#include "toolkit/win32_host.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "toolkit/forms.h"
#include "toolkit/resample.h"
#include "toolkit/win32_access.h"
#include "toolkit/win32_fonts.h"

namespace {

// ------------------------------------------------------ handles and scopes

struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
// An owned GDI object (font, bitmap), deleted with DeleteObject.
template <typename T>
using GdiObject = std::unique_ptr<std::remove_pointer_t<T>, GdiDeleter>;

struct WindowDeleter {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using WindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// A memory device context compatible with `dc`.
class MemoryDc {
 public:
  explicit MemoryDc(HDC dc) : dc_(CreateCompatibleDC(dc)) {}
  ~MemoryDc() { DeleteDC(dc_); }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// The device context of a window (of the screen for nullptr).
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { ReleaseDC(window_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint to EndPaint.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { BeginPaint(window_, &paint_); }
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC get() const { return paint_.hdc; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
};

// Selects `object` into `dc` and puts the previous one back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, previous_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// ------------------------------------------------------------------- text

// Code-page-1252 text as UTF-16, independent of the system's ANSI code page.
std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(1252, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), size, wide.data(), length);
  return wide;
}

RECT ToRect(const TRect& r) {
  return {r.Left, r.Top, r.Left + r.Width, r.Top + r.Height};
}

// Resource names of the bitmaps in the resource script.
const wchar_t* BitmapResource(TBitmap bitmap) {
  switch (bitmap) {
    case TBitmap::Leiste:
      return L"LEISTE";
    case TBitmap::Logo:
      return L"LOGO";
    case TBitmap::FahneEng:
      return L"FAHNE_ENG";
    case TBitmap::Fahneger:
      return L"FAHNE_GER";
    case TBitmap::Pfeil:
      return L"PFEIL";
    case TBitmap::None:
      break;
  }
  return nullptr;
}

// The model's key for a virtual key, or nothing for keys the windows do not
// use.
std::optional<TKey> MapKey(WPARAM key) {
  switch (key) {
    case VK_TAB:
      return GetKeyState(VK_SHIFT) < 0 ? TKey::ShiftTab : TKey::Tab;
    case VK_RETURN:
      return TKey::Enter;
    case VK_SPACE:
      return TKey::Space;
    case VK_ESCAPE:
      return TKey::Escape;
    case VK_UP:
      return TKey::Up;
    case VK_DOWN:
      return TKey::Down;
    case VK_HOME:
      return TKey::Home;
    case VK_END:
      return TKey::End;
    default:
      return std::nullopt;
  }
}

constexpr wchar_t kWindowClass[] = L"orbilexStartWindow";
constexpr int kMainIcon = 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

// ------------------------------------------------------------------- Impl

struct Win32Host::Impl {
  // A native window and the model it shows.
  struct Native {
    Impl* Host = nullptr;
    TWindow* Model = nullptr;
    WindowHandle Handle;
    bool Active = false;
    std::string ShownCaption;
    // How the layout shows on the screen.
    TZoom Zoom;
    Win32Access Access;
  };

  HINSTANCE Instance = GetModuleHandleW(nullptr);
  std::map<TWindow*, std::unique_ptr<Native>> Windows;
  HWND MainHandle = nullptr;
  std::string Title;
  bool Quitting = false;
  // Each arming of a timer gets a fresh id, so a tick that was already
  // queued when the timer was re-armed or disabled is recognised as stale.
  std::map<TTimer*, UINT_PTR> ArmedTimers;
  UINT_PTR NextTimerId = 1;
  std::map<std::tuple<std::string, int, bool>, GdiObject<HFONT>> Fonts;
  std::map<TBitmap, GdiObject<HBITMAP>> Bitmaps;
  // The bitmaps resampled for a zoomed window, by bitmap and size.
  std::map<std::tuple<TBitmap, int, int>, GdiObject<HBITMAP>> Resampled;
  // The screen's dpi, which the prompts are laid out for.
  int Dpi = 96;

  Impl() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = Instance;
    windowClass.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(kMainIcon));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(Instance, MAKEINTRESOURCEW(kMainIcon),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    WindowDc screen(nullptr);
    Dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  }

  ~Impl() { DestroyWindows(); }

  // Creates the native window of `model`, hidden and centred on the screen,
  // with a client area of exactly the model's size. The start window is
  // borderless; a dialog has a caption with a close box and is owned by the
  // start window, so it has no task-bar button of its own.
  Native& Create(TWindow& model) {
    auto native = std::make_unique<Native>();
    native->Host = this;
    native->Model = &model;
    const bool dialog = model.FrameKind == TWindow::Frame::Dialog;
    const DWORD style = dialog ? WS_POPUP | WS_CAPTION | WS_SYSMENU : WS_POPUP;
    const DWORD exStyle = dialog ? WS_EX_DLGMODALFRAME : 0;
    RECT frame{0, 0, model.ClientWidth, model.ClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    // The task-bar button of the borderless start window shows its window
    // text, so that text is the application title; the model's window
    // caption of the start window is never on screen and is not used.
    native->ShownCaption = dialog ? model.Caption : Title;
    // The window procedure takes ownership of the handle at WM_NCCREATE.
    CreateWindowExW(exStyle, kWindowClass, Widen(native->ShownCaption).c_str(), style, left, top,
                    width, height, dialog ? MainHandle : nullptr, nullptr, Instance, native.get());
    Native& result = *native;
    // The start window is scaled from 120 dpi on; the prompts scale
    // themselves.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (!dialog && result.Handle) {
      result.Zoom = WindowZoom(WindowDpi(result.Handle.get()), model.ClientWidth,
                               model.ClientHeight, screenWidth, screenHeight);
    }
    if (result.Zoom.Num != result.Zoom.Den) {
      const int w = result.Zoom.Scaled(model.ClientWidth);
      const int h = result.Zoom.Scaled(model.ClientHeight);
      SetWindowPos(result.Handle.get(), nullptr, (screenWidth - w) / 2, (screenHeight - h) / 2, w,
                   h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Windows[&model] = std::move(native);
    return result;
  }

  // The dots per inch of the monitor `window` is on, where the system tells
  // (GetDpiForWindow, looked up by name so that the program still starts
  // where user32 lacks it); else the screen's.
  static int WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi != 0) return static_cast<int>(dpi);
    WindowDc screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
  }

  Native* Find(TWindow& model) {
    auto it = Windows.find(&model);
    return it == Windows.end() ? nullptr : it->second.get();
  }

  // Destroys the dialogs, then the start window. The models are detached
  // first: they may be gone before the messages of the destruction arrive.
  void DestroyWindows() {
    for (auto& [model, native] : Windows) {
      SetWindowLongPtrW(native->Handle.get(), GWLP_USERDATA, 0);
    }
    for (auto& [model, native] : Windows) {
      if (native->Handle.get() != MainHandle) native->Handle.reset();
    }
    Windows.clear();
    MainHandle = nullptr;
  }

  void Arm(TTimer& timer) {
    Disarm(timer);
    const UINT_PTR id = NextTimerId++;
    SetTimer(MainHandle, id, timer.Interval, nullptr);
    ArmedTimers[&timer] = id;
  }

  void Disarm(TTimer& timer) {
    auto it = ArmedTimers.find(&timer);
    if (it == ArmedTimers.end()) return;
    KillTimer(MainHandle, it->second);
    ArmedTimers.erase(it);
  }

  // A tick of timer `id`: the timers are one-shot here and the model re-arms
  // them, so the timer is disarmed before it fires.
  void Tick(UINT_PTR id) {
    for (auto& [timer, armedId] : ArmedTimers) {
      if (armedId != id) continue;
      TTimer& fired = *timer;
      Disarm(fired);
      fired.Fire();
      return;
    }
    KillTimer(MainHandle, id);
  }

  HFONT Font(const TFont& font) {
    auto key = std::make_tuple(font.Name, font.Height, font.Bold);
    auto it = Fonts.find(key);
    if (it != Fonts.end()) return it->second.get();
    return Fonts.emplace(key, GdiObject<HFONT>(CreateDrawingFont(font))).first->second.get();
  }

  HBITMAP Bitmap(TBitmap bitmap) {
    auto it = Bitmaps.find(bitmap);
    if (it != Bitmaps.end()) return it->second.get();
    const wchar_t* name = BitmapResource(bitmap);
    HANDLE handle = name == nullptr
                        ? nullptr
                        : LoadImageW(Instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    return Bitmaps.emplace(bitmap, GdiObject<HBITMAP>(static_cast<HBITMAP>(handle)))
        .first->second.get();
  }

  // ---------------------------------------------------------------- paint

  static bool IsDialog(const Native& native) {
    return native.Model->FrameKind == TWindow::Frame::Dialog;
  }

  // The start window is a picture on white with black texts; a prompt takes
  // the system's window colour and window text colour as a pair, so that a
  // high-contrast scheme applies to it.
  static HBRUSH Ground(const Native& native) {
    return IsDialog(native) ? GetSysColorBrush(COLOR_WINDOW)
                            : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }

  void Paint(Native& native) {
    PaintScope paint(native.Handle.get());
    RECT client{};
    GetClientRect(native.Handle.get(), &client);
    MemoryDc buffer(paint.get());
    GdiObject<HBITMAP> surface(CreateCompatibleBitmap(paint.get(), client.right, client.bottom));
    {
      Selection selected(buffer.get(), surface.get());
      FillRect(buffer.get(), &client, Ground(native));
      SetBkMode(buffer.get(), TRANSPARENT);
      for (const auto& control : native.Model->Controls()) {
        if (control->Visible) PaintControl(buffer.get(), native, *control);
      }
      // A dotted mark around the control, one layout pixel outside it.
      for (const auto& control : native.Model->Controls()) {
        if (!control->Visible || !control->FocusMark) continue;
        const TRect& c = control->Bounds;
        RECT focus = ToRect(native.Zoom.Scaled({c.Left - 1, c.Top - 1, c.Width + 2, c.Height + 2}));
        for (int i = 0; i < Line(native.Zoom); ++i) {
          DrawFocusRect(buffer.get(), &focus);
          InflateRect(&focus, -1, -1);
        }
      }
      BitBlt(paint.get(), 0, 0, client.right, client.bottom, buffer.get(), 0, 0, SRCCOPY);
    }
  }

  void PaintControl(HDC dc, const Native& native, const TControl& control) {
    const TZoom& zoom = native.Zoom;
    RECT bounds = ToRect(zoom.Scaled(control.Bounds));
    switch (control.Kind) {
      case TControlKind::Image:
        PaintImage(dc, control, zoom);
        break;
      case TControlKind::Shape:
        // A black frame one layout pixel wide.
        for (int i = 0; i < Line(zoom); ++i) {
          FrameRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
          InflateRect(&bounds, -1, -1);
        }
        break;
      case TControlKind::Label: {
        FillRect(dc, &bounds, Ground(native));
        Selection font(
            dc, Font({control.Font.Name, zoom.Scaled(control.Font.Height), control.Font.Bold}));
        SetTextColor(dc, IsDialog(native) ? GetSysColor(COLOR_WINDOWTEXT) : RGB(0, 0, 0));
        UINT format = DT_NOPREFIX | DT_TOP;
        format |= control.Alignment == TAlignment::Right ? DT_RIGHT : DT_LEFT;
        format |= control.WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
        std::wstring text = Widen(control.Caption);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, format);
        break;
      }
      case TControlKind::Button:
        PaintButton(dc, native, control, bounds);
        break;
    }
  }

  // A line one layout pixel wide, in screen pixels.
  static int Line(const TZoom& zoom) { return std::max(1, zoom.Scaled(1)); }

  // Draws the control's bitmap, stretched to its bounds or at its own size
  // cut to them, resampled with the bitmap's filter in a zoomed window.
  void PaintImage(HDC dc, const TControl& control, const TZoom& zoom) {
    HBITMAP bitmap = Bitmap(control.Picture);
    if (bitmap == nullptr) return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    const TRect& b = control.Bounds;
    const int w = control.Stretch ? info.bmWidth : std::min<int>(b.Width, info.bmWidth);
    const int h = control.Stretch ? info.bmHeight : std::min<int>(b.Height, info.bmHeight);
    const TRect target =
        zoom.Scaled({b.Left, b.Top, control.Stretch ? b.Width : w, control.Stretch ? b.Height : h});
    if (target.Width <= 0 || target.Height <= 0) return;
    if (target.Width != w || target.Height != h) {
      bitmap = Resample(control.Picture, bitmap, w, h, target.Width, target.Height);
      if (bitmap == nullptr) return;
    }
    MemoryDc source(dc);
    Selection selected(source.get(), bitmap);
    BitBlt(dc, target.Left, target.Top, target.Width, target.Height, source.get(), 0, 0, SRCCOPY);
  }

  // The top-left `w` by `h` pixels of `bitmap` resampled to `width` by
  // `height`, kept for the next frame; nullptr when that fails.
  HBITMAP Resample(TBitmap which, HBITMAP bitmap, int w, int h, int width, int height) {
    auto [entry, added] = Resampled.try_emplace({which, width, height});
    if (!added) return entry->second.get();
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;  // blue, green, red, unused; rows top to bottom
    format.bmiHeader.biCompression = BI_RGB;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;
    RgbImage image{info.bmWidth, info.bmHeight, 4, {}};
    image.Pixels.resize(static_cast<std::size_t>(info.bmWidth) * info.bmHeight * 4);
    WindowDc screen(nullptr);
    if (GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(info.bmHeight), image.Pixels.data(),
                  &format, DIB_RGB_COLORS) == 0) {
      return nullptr;
    }
    const RgbImage scaled = ::Resample(image, w, h, width, height, FilterFor(which));
    if (scaled.Empty()) return nullptr;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    void* bits = nullptr;
    HBITMAP made = CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (made == nullptr) return nullptr;
    std::copy(scaled.Pixels.begin(), scaled.Pixels.end(), static_cast<unsigned char*>(bits));
    entry->second.reset(made);
    return made;
  }

  // A push button; the focused one of the active dialog carries the dark
  // outline of the default button and a focus rectangle.
  void PaintButton(HDC dc, const Native& native, const TControl& control, RECT bounds) {
    const bool focused = native.Active && native.Model->Focused() == &control;
    const bool pressed = native.Model->Pressed() == &control;
    if (focused) {
      FrameRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      InflateRect(&bounds, -1, -1);
    }
    DrawFrameControl(dc, &bounds, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    RECT text = bounds;
    if (pressed) OffsetRect(&text, 1, 1);
    Selection font(dc, Font(control.Font));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    std::wstring caption = Widen(control.Caption);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (focused) {
      // As far inside as the layout, which is scaled for the screen's dpi.
      RECT focus = bounds;
      const int inset = MulDiv(3, Dpi, 96);
      InflateRect(&focus, -inset, -inset);
      DrawFocusRect(dc, &focus);
    }
  }

  // ---------------------------------------------------------------- input

  // A mouse message's position in layout pixels.
  static int X(const Native& native, LPARAM lParam) {
    return native.Zoom.Layout(GET_X_LPARAM(lParam));
  }
  static int Y(const Native& native, LPARAM lParam) {
    return native.Zoom.Layout(GET_Y_LPARAM(lParam));
  }

  // Brings the prompt shown modally back from minimised and raises it with
  // the focus, as Windows does for an owned modal dialog. Hidden and shown
  // again when it is not the foreground window: a window manager may have
  // minimised it without the program being told.
  void BringBackPrompt() {
    TWindow* modal = Application != nullptr ? Application->ModalWindow() : nullptr;
    Native* prompt = modal != nullptr ? Find(*modal) : nullptr;
    if (prompt == nullptr || modal->ModalDone() || !IsWindowVisible(prompt->Handle.get())) return;
    HWND handle = prompt->Handle.get();
    if (IsIconic(handle)) {
      ShowWindow(handle, SW_RESTORE);
    } else if (GetForegroundWindow() != handle) {
      ShowWindow(handle, SW_HIDE);
      ShowWindow(handle, SW_SHOW);
    }
    SetForegroundWindow(handle);
    SetFocus(handle);
  }

  LRESULT Handle(Native& native, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND handle = native.Handle.get();
    TWindow& model = *native.Model;
    // While a prompt is up, the start window restored, activated or
    // clicked (it is disabled, so a click comes as WM_SETCURSOR on
    // HTERROR) brings it back.
    if (!IsDialog(native) &&
        ((message == WM_SIZE && wParam == SIZE_RESTORED) ||
         (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) ||
         (message == WM_SETCURSOR && static_cast<short>(LOWORD(lParam)) == HTERROR &&
          HIWORD(lParam) == WM_LBUTTONDOWN))) {
      BringBackPrompt();
    }
    switch (message) {
      case WM_PAINT:
        Paint(native);
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_MOUSEMOVE:
        model.MouseMove(X(native, lParam), Y(native, lParam));
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        SetCapture(handle);
        model.MouseDown(X(native, lParam), Y(native, lParam), message == WM_LBUTTONDBLCLK ? 2 : 1);
        return 0;
      case WM_LBUTTONUP:
        // Released before the click runs: a click may open a modal dialog.
        ReleaseCapture();
        model.MouseUp(X(native, lParam), Y(native, lParam));
        return 0;
      case WM_KEYDOWN:
        if (const std::optional<TKey> key = MapKey(wParam)) {
          // Bit 30: the key was down before this message (auto-repeat).
          model.KeyDown(*key, (lParam & (1L << 30)) != 0);
          return 0;
        }
        break;
      case WM_KEYUP:
        if (const std::optional<TKey> key = MapKey(wParam)) {
          model.KeyUp(*key);
          return 0;
        }
        break;
      case WM_CLOSE:
        // The close box, Alt+F4 and the system menu's Close: the model
        // decides whether and how the window closes.
        model.CloseRequest();
        return 0;
      case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
          ApplyCursor();
          return TRUE;
        }
        break;
      case WM_ACTIVATE:
        native.Active = LOWORD(wParam) != WA_INACTIVE;
        InvalidateRect(handle, nullptr, FALSE);
        break;
      case WM_TIMER:
        Tick(wParam);
        return 0;
      case WM_GETOBJECT:
        if (const LRESULT object =
                native.Access.Answer(handle, model, native.Zoom, wParam, lParam)) {
          return object;
        }
        break;
      case WM_NCDESTROY:
        // Destroyed by the system: nothing is left to destroy.
        SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
        native.Handle.release();
        break;
      default:
        break;
    }
    return DefWindowProcW(handle, message, wParam, lParam);
  }

  static void ApplyCursor() {
    const bool hand = Application != nullptr && Application->Cursor() == TCursor::Hand;
    SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
  }

  // Whether the pointer is over the client area of one of our windows.
  bool PointerOverClient() const {
    POINT point{};
    if (!GetCursorPos(&point)) return false;
    HWND under = WindowFromPoint(point);
    for (const auto& [model, native] : Windows) {
      if (native->Handle.get() != under) continue;
      return SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y)) == HTCLIENT;
    }
    return false;
  }

  // The modal loop of `model`: runs until it is done or the application
  // quits. A WM_QUIT taken here is posted again for the outer loop.
  void ModalLoop(TWindow& model) {
    MSG message{};
    while (!model.ModalDone() && !Quitting) {
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) {
        Quitting = true;
        PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 0);
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
};

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* native = static_cast<Win32Host::Impl::Native*>(create->lpCreateParams);
    native->Handle.reset(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(native));
  }
  auto* native =
      reinterpret_cast<Win32Host::Impl::Native*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (native == nullptr || native->Handle.get() != window) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return native->Host->Handle(*native, message, wParam, lParam);
}

}  // namespace

// -------------------------------------------------------------- Win32Host

Win32Host::Win32Host() : impl_(std::make_unique<Impl>()) {}

Win32Host::~Win32Host() = default;

void* Win32Host::MainWindow() const {
  return impl_->MainHandle;
}

void Win32Host::Run(TWindow& mainWindow) {
  Impl& impl = *impl_;
  impl.Quitting = false;
  impl.MainHandle = impl.Create(mainWindow).Handle.get();
  // Timers armed before the window existed.
  for (auto& [timer, id] : std::map<TTimer*, UINT_PTR>(impl.ArmedTimers)) impl.Arm(*timer);
  mainWindow.Show();
  if (!impl.Quitting) {
    ShowWindow(impl.MainHandle, SW_SHOWNORMAL);
    UpdateWindow(impl.MainHandle);
  }
  MSG message{};
  while (!impl.Quitting && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  impl.Quitting = true;
  for (auto& [timer, id] : impl.ArmedTimers) KillTimer(impl.MainHandle, id);
  impl.ArmedTimers.clear();
  impl.DestroyWindows();
}

void Win32Host::Quit() {
  Impl& impl = *impl_;
  if (impl.Quitting) return;
  impl.Quitting = true;
  for (auto& [timer, id] : impl.ArmedTimers) KillTimer(impl.MainHandle, id);
  impl.ArmedTimers.clear();
  PostQuitMessage(0);
}

void Win32Host::RunModal(TWindow& window) {
  Impl& impl = *impl_;
  if (impl.Quitting) return;
  Impl::Native* native = impl.Find(window);
  if (native == nullptr) native = &impl.Create(window);
  HWND handle = native->Handle.get();
  if (native->ShownCaption != window.Caption) {
    native->ShownCaption = window.Caption;
    SetWindowTextW(handle, Widen(window.Caption).c_str());
  }
  // A prompt that comes due while the start window is minimised would show
  // over nothing the user sees, or not at all: the start window comes back
  // first.
  if (IsIconic(impl.MainHandle)) ShowWindow(impl.MainHandle, SW_RESTORE);
  EnableWindow(impl.MainHandle, FALSE);
  ShowWindow(handle, SW_SHOW);
  SetFocus(handle);
  AnnounceFocus(handle, window);
  impl.ModalLoop(window);
  // The start window is enabled before the dialog hides, so the activation
  // goes back to it.
  EnableWindow(impl.MainHandle, TRUE);
  ShowWindow(handle, SW_HIDE);
}

void Win32Host::TimerChanged(TTimer& timer) {
  Impl& impl = *impl_;
  if (impl.Quitting) return;
  if (!timer.Enabled()) {
    impl.Disarm(timer);
  } else if (impl.MainHandle != nullptr) {
    impl.Arm(timer);
  } else {
    impl.ArmedTimers[&timer] = 0;
  }
}

void Win32Host::Invalidate(TWindow& window) {
  Impl::Native* native = impl_->Find(window);
  if (native == nullptr) return;
  HWND handle = native->Handle.get();
  if (window.FrameKind == TWindow::Frame::Dialog && native->ShownCaption != window.Caption) {
    native->ShownCaption = window.Caption;
    SetWindowTextW(handle, Widen(window.Caption).c_str());
  }
  InvalidateRect(handle, nullptr, FALSE);
}

void Win32Host::CursorChanged(TCursor) {
  if (impl_->PointerOverClient()) Impl::ApplyCursor();
}

void Win32Host::TitleChanged(const std::string& title) {
  Impl& impl = *impl_;
  impl.Title = title;
  if (impl.MainHandle != nullptr) SetWindowTextW(impl.MainHandle, Widen(title).c_str());
}

int Win32Host::TextWidth(const TFont& font, std::string_view text) {
  WindowDc screen(nullptr);
  Selection selected(screen.get(), impl_->Font(font));
  std::wstring wide = Widen(text);
  SIZE size{};
  GetTextExtentPoint32W(screen.get(), wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

void Win32Host::FocusMoved(TWindow& window) {
  if (Impl::Native* native = impl_->Find(window)) AnnounceFocus(native->Handle.get(), window);
}

int Win32Host::LogicalDpi() {
  WindowDc screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}
