#include "toolkit/atk_access.h"

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <FL/Fl.H>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cp1252.h"
#include "toolkit/access.h"
#include "toolkit/forms.h"

namespace {

// What is used of GLib, GObject and ATK, as their headers declare it for
// x86_64 Linux. Class structures are reached by the offsets of their
// function pointers after the parent class, whose size is asked at run time.
using GType = unsigned long;
struct GTypeInfo {
  std::uint16_t ClassSize;
  void* BaseInit;
  void* BaseFinalize;
  void (*ClassInit)(void* klass, void* data);
  void* ClassFinalize;
  const void* ClassData;
  std::uint16_t InstanceSize;
  std::uint16_t Preallocs;
  void* InstanceInit;
  const void* ValueTable;
};
struct GTypeQuery {
  GType Type;
  const char* Name;
  unsigned ClassSize;
  unsigned InstanceSize;
};
struct GInterfaceInfo {
  void (*Init)(void* iface, void* data);
  void* Finalize;
  void* Data;
};
struct GPollFD {
  int Fd;
  unsigned short Events;
  unsigned short Revents;
};
// AtkObjectClass after GObjectClass, AtkUtilClass after GObjectClass,
// AtkActionIface after GTypeInterface (two pointers' worth).
enum ObjectSlot { kGetNChildren = 3, kRefChild = 4, kGetIndexInParent = 5, kRefStateSet = 10 };
enum UtilSlot {
  kAddListener = 0,
  kRemoveListener = 1,
  kGetRoot = 4,
  kToolkitName = 5,
  kToolkitVersion = 6
};
enum ActionSlot { kDoAction = 2, kGetNActions = 3, kGetActionName = 5 };

struct Api {
  GType (*g_object_get_type)();
  void (*g_type_query)(GType, GTypeQuery*);
  GType (*g_type_register_static)(GType, const char*, const GTypeInfo*, int);
  void (*g_type_add_interface_static)(GType, GType, const GInterfaceInfo*);
  void* (*g_type_class_ref)(GType);
  GType (*g_type_from_name)(const char*);
  void* (*g_object_new)(GType, const char*, ...);
  void* (*g_object_ref)(void*);
  void (*g_object_unref)(void*);
  void (*g_object_set_data)(void*, const char*, void*);
  void* (*g_object_get_data)(void*, const char*);
  unsigned (*g_signal_lookup)(const char*, GType);
  unsigned long (*g_signal_add_emission_hook)(unsigned, unsigned, void*, void*, void*);
  void (*g_signal_remove_emission_hook)(unsigned, unsigned long);
  void* (*g_main_context_default)();
  int (*g_main_context_acquire)(void*);
  void (*g_main_context_release)(void*);
  int (*g_main_context_prepare)(void*, int*);
  int (*g_main_context_query)(void*, int, int*, GPollFD*, int);
  int (*g_main_context_check)(void*, int, GPollFD*, int);
  void (*g_main_context_dispatch)(void*);
  GType (*atk_object_get_type)();
  GType (*atk_util_get_type)();
  GType (*atk_action_get_type)();
  int (*atk_role_for_name)(const char*);
  int (*atk_state_type_for_name)(const char*);
  void (*atk_object_set_name)(void*, const char*);
  void (*atk_object_set_role)(void*, int);
  void (*atk_object_set_parent)(void*, void*);
  void (*atk_object_notify_state_change)(void*, int, int);
  void* (*atk_state_set_new)();
  int (*atk_state_set_add_state)(void*, int);
  int (*atk_bridge_adaptor_init)(int*, char***);
};
Api api;
unsigned objectClassSize = 0;  // GObjectClass
GType nodeType = 0;

template <typename F>
bool Find(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  return function != nullptr;
}

bool Load() {
  void* glib = dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
  void* gobject = dlopen("libgobject-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
  void* atk = dlopen("libatk-1.0.so.0", RTLD_NOW | RTLD_GLOBAL);
  void* bridge = dlopen("libatk-bridge-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
  if (glib == nullptr || gobject == nullptr || atk == nullptr || bridge == nullptr) return false;
#define FIND(library, name) Find(library, #name, api.name)
  return FIND(gobject, g_object_get_type) && FIND(gobject, g_type_query) &&
         FIND(gobject, g_type_register_static) && FIND(gobject, g_type_add_interface_static) &&
         FIND(gobject, g_type_class_ref) && FIND(gobject, g_type_from_name) &&
         FIND(gobject, g_object_new) && FIND(gobject, g_object_ref) &&
         FIND(gobject, g_object_unref) && FIND(gobject, g_object_set_data) &&
         FIND(gobject, g_object_get_data) && FIND(gobject, g_signal_lookup) &&
         FIND(gobject, g_signal_add_emission_hook) &&
         FIND(gobject, g_signal_remove_emission_hook) && FIND(glib, g_main_context_default) &&
         FIND(glib, g_main_context_acquire) && FIND(glib, g_main_context_release) &&
         FIND(glib, g_main_context_prepare) && FIND(glib, g_main_context_query) &&
         FIND(glib, g_main_context_check) && FIND(glib, g_main_context_dispatch) &&
         FIND(atk, atk_object_get_type) && FIND(atk, atk_util_get_type) &&
         FIND(atk, atk_action_get_type) && FIND(atk, atk_role_for_name) &&
         FIND(atk, atk_state_type_for_name) && FIND(atk, atk_object_set_name) &&
         FIND(atk, atk_object_set_role) && FIND(atk, atk_object_set_parent) &&
         FIND(atk, atk_object_notify_state_change) && FIND(atk, atk_state_set_new) &&
         FIND(atk, atk_state_set_add_state) && FIND(bridge, atk_bridge_adaptor_init);
#undef FIND
}

void** Slots(void* structure, unsigned offset) {
  return reinterpret_cast<void**>(static_cast<char*>(structure) + offset);
}

}  // namespace

// One accessible object: the application, a window or a part of one.
struct AtkAccess::Node {
  void* Object = nullptr;  // the ATK object, holding a pointer to this node
  TWindow* Window = nullptr;
  TControl* Control = nullptr;  // a part's control
  std::vector<Node*> Children;
  int Index = -1;
  bool Focusable = false;
  bool Focused = false;

  Node(Node* parent, int role, const std::string& name) {
    Object = api.g_object_new(nodeType, nullptr);
    api.g_object_set_data(Object, "start-node", this);
    api.atk_object_set_role(Object, role);
    Rename(name);
    if (parent != nullptr) api.atk_object_set_parent(Object, parent->Object);
  }
  ~Node() {
    api.g_object_set_data(Object, "start-node", nullptr);
    api.g_object_unref(Object);
  }
  // Renaming tells the readers: only a changed name is set.
  void Rename(const std::string& cp1252) {
    if (cp1252 == Name && !Name.empty()) return;
    Name = cp1252;
    api.atk_object_set_name(Object, Cp1252ToUtf8(cp1252).c_str());
  }
  std::string Name;
  static Node* Of(void* object) {
    return static_cast<Node*>(api.g_object_get_data(object, "start-node"));
  }
};

namespace {

using Node = AtkAccess::Node;

Node* application = nullptr;
// The parts of each shown window, owned here.
std::map<TWindow*, std::vector<std::unique_ptr<Node>>> parts;

int NChildren(void* object) {
  const Node* node = Node::Of(object);
  return node == nullptr ? 0 : static_cast<int>(node->Children.size());
}
void* RefChild(void* object, int i) {
  const Node* node = Node::Of(object);
  if (node == nullptr || i < 0 || i >= static_cast<int>(node->Children.size())) return nullptr;
  return api.g_object_ref(node->Children[static_cast<std::size_t>(i)]->Object);
}
int IndexInParent(void* object) {
  const Node* node = Node::Of(object);
  return node == nullptr ? -1 : node->Index;
}
void* RefStateSet(void* object) {
  void* set = api.atk_state_set_new();
  const Node* node = Node::Of(object);
  if (node == nullptr) return set;
  for (const char* state : {"enabled", "sensitive", "visible", "showing"}) {
    api.atk_state_set_add_state(set, api.atk_state_type_for_name(state));
  }
  if (node->Focusable) api.atk_state_set_add_state(set, api.atk_state_type_for_name("focusable"));
  if (node->Focused) api.atk_state_set_add_state(set, api.atk_state_type_for_name("focused"));
  return set;
}
int DoAction(void* object, int i) {
  Node* node = Node::Of(object);
  if (node == nullptr || node->Control == nullptr || i != 0) return 0;
  TWindow* window = node->Window;
  TControl* control = node->Control;
  // Run from FLTK's loop, not inside the bridge's reply.
  Fl::add_timeout(
      0.0,
      [](void* data) {
        auto* target = static_cast<std::pair<TWindow*, TControl*>*>(data);
        if (parts.count(target->first) != 0) target->first->AccessibleAction(*target->second);
        delete target;
      },
      new std::pair<TWindow*, TControl*>(window, control));
  return 1;
}
int NActions(void* object) {
  const Node* node = Node::Of(object);
  return node != nullptr && node->Control != nullptr &&
                 AccessibleActionName(node->Control->AccessRole) != nullptr
             ? 1
             : 0;
}
const char* ActionName(void* object, int i) {
  const Node* node = Node::Of(object);
  if (node == nullptr || node->Control == nullptr || i != 0) return nullptr;
  return AccessibleActionName(node->Control->AccessRole);
}

void ClassInit(void* klass, void*) {
  void** slots = Slots(klass, objectClassSize);
  slots[kGetNChildren] = reinterpret_cast<void*>(NChildren);
  slots[kRefChild] = reinterpret_cast<void*>(RefChild);
  slots[kGetIndexInParent] = reinterpret_cast<void*>(IndexInParent);
  slots[kRefStateSet] = reinterpret_cast<void*>(RefStateSet);
}
void ActionInit(void* iface, void*) {
  void** slots = Slots(iface, 0);
  slots[kDoAction] = reinterpret_cast<void*>(DoAction);
  slots[kGetNActions] = reinterpret_cast<void*>(NActions);
  slots[kGetActionName] = reinterpret_cast<void*>(ActionName);
}

// The toolkit's part of ATK: the root object, and global event listeners as
// emission hooks on the signals they name ("toolkit:Type:signal[:detail]").
std::map<unsigned, std::pair<unsigned, unsigned long>> listeners;
unsigned nextListener = 1;

void* Root() {
  return application != nullptr ? application->Object : nullptr;
}
const char* ToolkitName() {
  return "FLTK";
}
const char* ToolkitVersion() {
  return "1.3";
}
unsigned AddListener(void* listener, const char* eventType) {
  const std::string event = eventType;
  const std::size_t first = event.find(':');
  const std::size_t second = event.find(':', first + 1);
  if (first == std::string::npos || second == std::string::npos) return 0;
  const std::size_t third = event.find(':', second + 1);
  const GType type = api.g_type_from_name(event.substr(first + 1, second - first - 1).c_str());
  const std::string signal =
      event.substr(second + 1, third == std::string::npos ? std::string::npos : third - second - 1);
  const unsigned id = type == 0 ? 0 : api.g_signal_lookup(signal.c_str(), type);
  if (id == 0) return 0;
  const unsigned long hook = api.g_signal_add_emission_hook(id, 0, listener, nullptr, nullptr);
  listeners[nextListener] = {id, hook};
  return nextListener++;
}
void RemoveListener(unsigned listener) {
  const auto found = listeners.find(listener);
  if (found == listeners.end()) return;
  api.g_signal_remove_emission_hook(found->second.first, found->second.second);
  listeners.erase(found);
}

// GLib's main context, run from FLTK's loop: each turn dispatches what is
// ready and watches the descriptors and the timeout the context asks for.
std::vector<int> watched;
void Turn(int = 0, void* = nullptr);
void TurnLater(void*) {
  Turn();
}
void Turn(int, void*) {
  for (int fd : watched) Fl::remove_fd(fd);
  watched.clear();
  Fl::remove_timeout(TurnLater);
  void* context = api.g_main_context_default();
  if (!api.g_main_context_acquire(context)) return;
  int priority = 0;
  int timeout = -1;
  std::vector<GPollFD> fds;
  for (;;) {
    api.g_main_context_prepare(context, &priority);
    fds.resize(16);
    int n = api.g_main_context_query(context, priority, &timeout, fds.data(),
                                     static_cast<int>(fds.size()));
    if (n > static_cast<int>(fds.size())) {
      fds.resize(static_cast<std::size_t>(n));
      n = api.g_main_context_query(context, priority, &timeout, fds.data(), n);
    }
    fds.resize(static_cast<std::size_t>(n));
    // GPollFD is laid out as struct pollfd.
    poll(reinterpret_cast<pollfd*>(fds.data()), fds.size(), 0);
    if (!api.g_main_context_check(context, priority, fds.data(), n)) break;
    api.g_main_context_dispatch(context);
  }
  api.g_main_context_release(context);
  for (const GPollFD& fd : fds) {
    Fl::add_fd(fd.Fd, FL_READ, Turn);
    watched.push_back(fd.Fd);
  }
  if (timeout >= 0) Fl::add_timeout(timeout / 1000.0, TurnLater);
}

}  // namespace

AtkAccess::AtkAccess() = default;

AtkAccess::~AtkAccess() {
  windows_.clear();
  parts.clear();
  application = nullptr;
}

bool AtkAccess::Start(const char* name) {
  if (application_) return true;
  const char* off = std::getenv("NO_AT_BRIDGE");
  if (off != nullptr && std::string(off) == "1") return false;
  // A session bus, named or at its usual place, or the accessibility bus.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr &&
      std::getenv("AT_SPI_BUS_ADDRESS") == nullptr &&
      (runtime == nullptr || access((std::string(runtime) + "/bus").c_str(), F_OK) != 0)) {
    return false;
  }
  if (!Load()) return false;
  GTypeQuery object{};
  api.g_type_query(api.g_object_get_type(), &object);
  objectClassSize = object.ClassSize;
  GTypeQuery atkObject{};
  api.g_type_query(api.atk_object_get_type(), &atkObject);
  GTypeInfo info{};
  info.ClassSize = static_cast<std::uint16_t>(atkObject.ClassSize);
  info.ClassInit = ClassInit;
  info.InstanceSize = static_cast<std::uint16_t>(atkObject.InstanceSize);
  nodeType = api.g_type_register_static(api.atk_object_get_type(), "StartAccessible", &info, 0);
  const GInterfaceInfo action{ActionInit, nullptr, nullptr};
  api.g_type_add_interface_static(nodeType, api.atk_action_get_type(), &action);
  void** util = Slots(api.g_type_class_ref(api.atk_util_get_type()), objectClassSize);
  util[kAddListener] = reinterpret_cast<void*>(AddListener);
  util[kRemoveListener] = reinterpret_cast<void*>(RemoveListener);
  util[kGetRoot] = reinterpret_cast<void*>(Root);
  util[kToolkitName] = reinterpret_cast<void*>(ToolkitName);
  util[kToolkitVersion] = reinterpret_cast<void*>(ToolkitVersion);
  application_ = std::make_unique<Node>(nullptr, api.atk_role_for_name("application"), name);
  application = application_.get();
  if (api.atk_bridge_adaptor_init(nullptr, nullptr) != 0) return false;
  Turn();
  return true;
}

void AtkAccess::Shown(TWindow& window, bool shown) {
  if (!application_) return;
  if (!shown) {
    std::erase(application_->Children, windows_[&window].get());
    windows_.erase(&window);
    parts.erase(&window);
    return;
  }
  const bool dialog = window.FrameKind == TWindow::Frame::Dialog;
  auto node =
      std::make_unique<Node>(application_.get(), api.atk_role_for_name(dialog ? "dialog" : "frame"),
                             dialog ? window.Caption : Application->Title());
  node->Window = &window;
  node->Index = static_cast<int>(application_->Children.size());
  application_->Children.push_back(node.get());
  windows_[&window] = std::move(node);
  parts[&window];
  Changed(window);
}

void AtkAccess::Changed(TWindow& window) {
  const auto found = windows_.find(&window);
  if (found == windows_.end()) return;
  Node& frame = *found->second;
  frame.Rename(window.FrameKind == TWindow::Frame::Dialog ? window.Caption : Application->Title());
  std::vector<std::unique_ptr<Node>>& nodes = parts[&window];
  const std::vector<TAccessible> now = AccessibleParts(window);
  bool same = nodes.size() == now.size();
  for (std::size_t i = 0; same && i < now.size(); ++i) same = nodes[i]->Control == now[i].Control;
  if (!same) {
    frame.Children.clear();
    nodes.clear();
    for (const TAccessible& part : now) {
      const char* role = part.Role == TAccessRole::Link         ? "link"
                         : part.Role == TAccessRole::PushButton ? "push button"
                                                                : "label";
      auto node = std::make_unique<Node>(&frame, api.atk_role_for_name(role), part.Name);
      node->Window = &window;
      node->Control = part.Control;
      node->Index = static_cast<int>(nodes.size());
      node->Focusable = part.Focusable;
      frame.Children.push_back(node.get());
      nodes.push_back(std::move(node));
    }
  }
  for (std::size_t i = 0; i < now.size(); ++i) {
    nodes[i]->Rename(now[i].Name);
    nodes[i]->Focused = now[i].Focused;
  }
  // What changed is sent at once.
  Turn();
}

void AtkAccess::FocusMoved(TWindow& window) {
  Changed(window);
  const auto found = parts.find(&window);
  if (found == parts.end()) return;
  for (const auto& node : found->second) {
    if (node->Focused) {
      api.atk_object_notify_state_change(node->Object, api.atk_state_type_for_name("focused"), 1);
    }
  }
  Turn();
}
