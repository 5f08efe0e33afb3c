#include "toolkit/win32_access.h"

#include <oleacc.h>

#include <string>
#include <vector>

#include "toolkit/access.h"
#include "toolkit/forms.h"
#include "toolkit/host.h"

namespace {

// The functions of oleacc, ole32 and oleaut32, looked up by name.
struct OleFunctions {
  decltype(&LresultFromObject) ResultFromObject = nullptr;
  decltype(&CreateStdAccessibleObject) CreateStdObject = nullptr;
  decltype(&SysAllocString) AllocString = nullptr;
  bool Ready = false;
};

template <typename F>
void Lookup(HMODULE module, const char* name, F& function) {
  function = module == nullptr
                 ? nullptr
                 : reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the libraries once; Ready when every function was found and COM
// is set up for this (the window's) thread.
const OleFunctions& Ole() {
  static const OleFunctions functions = [] {
    OleFunctions f;
    HMODULE ole32 = LoadLibraryW(L"ole32.dll");
    HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
    HMODULE oleaut32 = LoadLibraryW(L"oleaut32.dll");
    decltype(&CoInitializeEx) initialize = nullptr;
    Lookup(ole32, "CoInitializeEx", initialize);
    Lookup(oleacc, "LresultFromObject", f.ResultFromObject);
    Lookup(oleacc, "CreateStdAccessibleObject", f.CreateStdObject);
    Lookup(oleaut32, "SysAllocString", f.AllocString);
    f.Ready = initialize != nullptr && f.ResultFromObject != nullptr &&
              f.CreateStdObject != nullptr && f.AllocString != nullptr &&
              SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
    return f;
  }();
  return functions;
}

BSTR MakeString(const std::string& cp1252) {
  const int length =
      MultiByteToWideChar(1252, 0, cp1252.data(), static_cast<int>(cp1252.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(1252, 0, cp1252.data(), static_cast<int>(cp1252.size()), wide.data(), length);
  return Ole().AllocString(wide.c_str());
}

LONG Role(TAccessRole role) {
  switch (role) {
    case TAccessRole::Link:
      return ROLE_SYSTEM_LINK;
    case TAccessRole::PushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case TAccessRole::StaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case TAccessRole::None:
      break;
  }
  return ROLE_SYSTEM_CLIENT;
}

void SetChild(VARIANT* out, LONG id) {
  out->vt = VT_I4;
  out->lVal = id;
}

}  // namespace

// The client area's IAccessible; its children are simple elements, child id
// i + 1 for part i. Everything is read from the model at each call, so names
// follow a language switch at once.
class WindowAccessible final : public IAccessible {
 public:
  WindowAccessible(HWND window, TWindow& model) : window_(window), model_(&model) {}

  void Detach() { model_ = nullptr; }
  void SetZoom(const TZoom& zoom) { zoom_ = zoom; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: no type information; clients call through the vtable.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    if (model_ == nullptr) return E_FAIL;
    return Ole().CreateStdObject(window_, OBJID_WINDOW, __uuidof(IDispatch),
                                 reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    if (model_ == nullptr) return E_FAIL;
    *count = static_cast<LONG>(AccessibleParts(*model_).size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    Found found;
    const HRESULT hr = Find(child, found);
    // A part is a simple element: the reader asks this object about it.
    return FAILED(hr) ? hr : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    if (found.Part != nullptr) {
      *name = MakeString(found.Part->Name);
    } else {
      wchar_t text[256] = {};
      GetWindowTextW(window_, text, 256);
      *name = Ole().AllocString(text);
    }
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return Nothing(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return Nothing(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    SetChild(role, found.Part != nullptr ? Role(found.Part->Role) : ROLE_SYSTEM_CLIENT);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    const bool active = GetFocus() == window_;
    LONG bits = STATE_SYSTEM_FOCUSABLE | (active ? STATE_SYSTEM_FOCUSED : 0);
    if (const TAccessible* part = found.Part) {
      bits = part->Focusable ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_READONLY;
      if (active && part->Focused) bits |= STATE_SYSTEM_FOCUSED;
      if (part->Role == TAccessRole::Link) bits |= STATE_SYSTEM_LINKED;
    }
    SetChild(state, bits);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return Nothing(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file != nullptr) *file = nullptr;
    if (topic != nullptr) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return Nothing(child, keys);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    focus->vt = VT_EMPTY;
    if (model_ == nullptr) return E_FAIL;
    if (GetFocus() != window_) return S_FALSE;
    SetChild(focus, AccessibleIndex(*model_, model_->AccessibleFocus()) + 1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    selection->vt = VT_EMPTY;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    const char* name = found.Part != nullptr ? AccessibleActionName(found.Part->Role) : nullptr;
    if (name == nullptr) return S_FALSE;
    *action = MakeString(name);
    return *action != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
      return E_POINTER;
    }
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    RECT client{};
    GetClientRect(window_, &client);
    RECT r = client;
    if (found.Part != nullptr) {
      const TRect b = zoom_.Scaled(found.Part->Bounds);
      r = {b.Left, b.Top, b.Left + b.Width, b.Top + b.Height};
    }
    POINT origin{r.left, r.top};
    ClientToScreen(window_, &origin);
    *left = origin.x;
    *top = origin.y;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT* end) override {
    if (end != nullptr) end->vt = VT_EMPTY;
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    if (child == nullptr) return E_POINTER;
    child->vt = VT_EMPTY;
    if (model_ == nullptr) return E_FAIL;
    POINT point{x, y};
    ScreenToClient(window_, &point);
    RECT client{};
    GetClientRect(window_, &client);
    if (!PtInRect(&client, point)) return S_FALSE;
    const int layoutX = zoom_.Layout(point.x);
    const int layoutY = zoom_.Layout(point.y);
    const std::vector<TAccessible> parts = AccessibleParts(*model_);
    LONG id = CHILDID_SELF;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (parts[i].Bounds.Contains(layoutX, layoutY)) id = static_cast<LONG>(i) + 1;
    }
    SetChild(child, id);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    Found found;
    if (const HRESULT hr = Find(child, found); FAILED(hr)) return hr;
    if (found.Part == nullptr || AccessibleActionName(found.Part->Role) == nullptr) {
      return DISP_E_MEMBERNOTFOUND;
    }
    model_->AccessibleAction(*found.Part->Control);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~WindowAccessible() = default;

  // The parts as they are now and the one a child id names (nullptr for the
  // client area itself).
  struct Found {
    std::vector<TAccessible> Parts;
    const TAccessible* Part = nullptr;
  };
  HRESULT Find(const VARIANT& child, Found& found) const {
    if (model_ == nullptr) return E_FAIL;
    if (child.vt != VT_I4) return E_INVALIDARG;
    found.Parts = AccessibleParts(*model_);
    if (child.lVal == CHILDID_SELF) return S_OK;
    if (child.lVal < 1 || child.lVal > static_cast<LONG>(found.Parts.size())) return E_INVALIDARG;
    found.Part = &found.Parts[static_cast<std::size_t>(child.lVal - 1)];
    return S_OK;
  }
  // A text property that no part has.
  HRESULT Nothing(const VARIANT& child, BSTR* text) const {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    Found found;
    const HRESULT hr = Find(child, found);
    return FAILED(hr) ? hr : S_FALSE;
  }

  HWND window_;
  TWindow* model_;
  TZoom zoom_;
  LONG references_ = 1;
};

Win32Access::~Win32Access() {
  if (object_ == nullptr) return;
  object_->Detach();
  object_->Release();
}

LRESULT Win32Access::Answer(HWND window, TWindow& model, const TZoom& zoom, WPARAM wParam,
                            LPARAM lParam) {
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || !Ole().Ready) return 0;
  if (object_ == nullptr) object_ = new WindowAccessible(window, model);
  object_->SetZoom(zoom);
  const LRESULT result = Ole().ResultFromObject(__uuidof(IAccessible), wParam, object_);
  return result < 0 ? 0 : result;
}

void AnnounceFocus(HWND window, const TWindow& model) {
  if (!IsWindowVisible(window)) return;
  const int index = AccessibleIndex(model, model.AccessibleFocus());
  NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, index < 0 ? CHILDID_SELF : index + 1);
}
