// msaa_probe: asks a running start menu, from another process, what a screen
// reader gets through Active Accessibility. Test tool for Wine.
//
//   msaa_probe TITLE tree          the client object and each child:
//                                  "<role>: <name>" and, where there is one,
//                                  " [<default action>]"
//   msaa_probe TITLE press N       runs the default action of child N
//   msaa_probe TITLE keys K...     for each key (up, down, home, end, tab),
//                                  posts it to the window and prints the
//                                  focus event it brings, "focus <role>: <name>"
//
// TITLE is the beginning of the window's title; the window is waited for for
// at most 10 s. Texts are printed in UTF-8. Exits 1 on any failure.
#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HWND found = nullptr;
const wchar_t* wanted = nullptr;

BOOL CALLBACK Match(HWND window, LPARAM) {
  wchar_t title[256] = {};
  wchar_t kind[64] = {};
  GetWindowTextW(window, title, 256);
  GetClassNameW(window, kind, 64);
  if (IsWindowVisible(window) && std::wcscmp(kind, L"orbilexStartWindow") == 0 &&
      std::wcsncmp(title, wanted, std::wcslen(wanted)) == 0) {
    found = window;
    return FALSE;
  }
  return TRUE;
}

std::string Utf8(const wchar_t* text) {
  if (text == nullptr) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

[[noreturn]] void Fail(const char* what, HRESULT hr) {
  std::printf("FAIL %s: 0x%08lx\n", what, static_cast<unsigned long>(hr));
  std::exit(1);
}

std::string RoleName(LONG role) {
  switch (role) {
    case ROLE_SYSTEM_LINK:
      return "link";
    case ROLE_SYSTEM_MENUITEM:
      return "menu item";
    case ROLE_SYSTEM_PUSHBUTTON:
      return "push button";
    case ROLE_SYSTEM_STATICTEXT:
      return "static text";
    case ROLE_SYSTEM_CLIENT:
      return "client";
    default:
      return "role " + std::to_string(role);
  }
}

// "<role>: <name>" and " [<action>]" of `child` of `object`.
std::string Describe(IAccessible* object, VARIANT child) {
  VARIANT role;
  VariantInit(&role);
  HRESULT hr = object->get_accRole(child, &role);
  if (hr != S_OK || role.vt != VT_I4) Fail("get_accRole", hr);
  BSTR name = nullptr;
  hr = object->get_accName(child, &name);
  if (FAILED(hr)) Fail("get_accName", hr);
  std::string line = RoleName(role.lVal) + ": " + Utf8(name);
  SysFreeString(name);
  BSTR action = nullptr;
  if (object->get_accDefaultAction(child, &action) == S_OK && action != nullptr) {
    line += " [" + Utf8(action) + "]";
  }
  SysFreeString(action);
  return line;
}

VARIANT Child(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

IAccessible* ClientObject(HWND window) {
  IAccessible* object = nullptr;
  const HRESULT hr =
      AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                 reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) Fail("AccessibleObjectFromWindow", hr);
  return object;
}

void Tree(HWND window) {
  IAccessible* object = ClientObject(window);
  std::printf("%s\n", Describe(object, Child(CHILDID_SELF)).c_str());
  LONG count = 0;
  HRESULT hr = object->get_accChildCount(&count);
  if (FAILED(hr)) Fail("get_accChildCount", hr);
  VARIANT children[64];
  LONG obtained = 0;
  hr = AccessibleChildren(object, 0, count < 64 ? count : 64, children, &obtained);
  if (FAILED(hr)) Fail("AccessibleChildren", hr);
  for (LONG i = 0; i < obtained; ++i) {
    if (children[i].vt != VT_I4) Fail("AccessibleChildren gave no child id", E_FAIL);
    std::printf("%s\n", Describe(object, children[i]).c_str());
  }
  object->Release();
}

void Press(HWND window, LONG id) {
  IAccessible* object = ClientObject(window);
  const HRESULT hr = object->accDoDefaultAction(Child(id));
  if (FAILED(hr)) Fail("accDoDefaultAction", hr);
  std::printf("pressed %ld\n", id);
  object->Release();
}

struct FocusEvent {
  HWND Window;
  LONG Object;
  LONG Child;
};
FocusEvent lastEvent{};
bool haveEvent = false;

void CALLBACK OnFocus(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
  lastEvent = {window, object, child};
  haveEvent = true;
}

void Keys(HWND window, int count, char** keys) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnFocus,
                                       process, 0, WINEVENT_OUTOFCONTEXT);
  if (hook == nullptr) Fail("SetWinEventHook", HRESULT_FROM_WIN32(GetLastError()));
  for (int i = 0; i < count; ++i) {
    const std::string key = keys[i];
    const WPARAM code = key == "up"     ? VK_UP
                        : key == "down" ? VK_DOWN
                        : key == "home" ? VK_HOME
                        : key == "end"  ? VK_END
                                        : VK_TAB;
    haveEvent = false;
    PostMessageW(window, WM_KEYDOWN, code, 1);
    const DWORD start = GetTickCount();
    while (!haveEvent && GetTickCount() - start < 5000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    if (!haveEvent) Fail(("no focus event after " + key).c_str(), E_FAIL);
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    const HRESULT hr =
        AccessibleObjectFromEvent(lastEvent.Window, static_cast<DWORD>(lastEvent.Object),
                                  static_cast<DWORD>(lastEvent.Child), &object, &child);
    if (FAILED(hr) || object == nullptr) Fail("AccessibleObjectFromEvent", hr);
    std::printf("focus %s\n", Describe(object, child).c_str());
    object->Release();
  }
  UnhookWinEvent(hook);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: msaa_probe TITLE tree | press N | keys KEY...\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int n = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
  std::wstring title(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, title.data(), n);
  wanted = title.c_str();
  for (int tries = 0; found == nullptr && tries < 100; ++tries) {
    EnumWindows(Match, 0);
    if (found == nullptr) Sleep(100);
  }
  if (found == nullptr) Fail("no window titled like the argument", E_FAIL);
  const std::string command = argv[2];
  if (command == "tree") {
    Tree(found);
  } else if (command == "press" && argc == 4) {
    Press(found, std::atol(argv[3]));
  } else if (command == "keys") {
    Keys(found, argc - 3, argv + 3);
  } else {
    return 2;
  }
  CoUninitialize();
  return 0;
}
