#include "platform/desktop/GlobalHotkeys.h"

#include <QtCore/QPointer>
#include <QtCore/QSocketNotifier>
#include <QtCore/QThread>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

// Xlib last: its macros (None, Bool, KeyPress, ...) would clash with Qt's.
#ifdef TARVEXA_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#endif

namespace tarvexa {

#ifdef TARVEXA_HAVE_X11

namespace {

// Xlib reports a refused request through one process-wide handler. It is
// ours only for the length of one grab and its round trip, and it passes on
// whatever concerns another connection.
Display* g_grabDisplay = nullptr;
int g_grabError = 0;
XErrorHandler g_previousHandler = nullptr;

int OnGrabError(Display* display, XErrorEvent* e) {
  if (display == g_grabDisplay) {
    if (g_grabError == 0) g_grabError = e->error_code;
    return 0;
  }
  return g_previousHandler ? g_previousHandler(display, e) : 0;
}

// The modifier bit a key (Num Lock, Scroll Lock) is mapped to; 0 when it is
// not a modifier on this server.
unsigned ModifierMaskOf(Display* display, KeySym sym) {
  const KeyCode code = XKeysymToKeycode(display, sym);
  if (code == 0) return 0;
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  unsigned mask = 0;
  for (int m = 0; m < 8 && mask == 0; ++m)
    for (int k = 0; k < map->max_keypermod; ++k)
      if (map->modifiermap[m * map->max_keypermod + k] == code) {
        mask = 1u << m;
        break;
      }
  XFreeModifiermap(map);
  return mask;
}

}  // namespace

struct GlobalHotkeys::X11 {
  struct Grab {
    int id;
    KeyCode code;
    bool down;  // pressed and not yet released: repeats are not activations
  };
  Display* display = nullptr;
  Window root = 0;
  QSocketNotifier* notifier = nullptr;
  std::vector<unsigned> lockVariants;  // every combination of the lock modifiers
  std::vector<Grab> grabs;

  // Grabs (or releases) code with Control and every lock combination. On a
  // grab, returns the X error code of the first refused request, 0 when all
  // were granted.
  int GrabAll(KeyCode code, bool grab) {
    g_grabDisplay = display;
    g_grabError = 0;
    g_previousHandler = XSetErrorHandler(OnGrabError);
    for (unsigned locks : lockVariants) {
      if (grab)
        XGrabKey(display, code, ControlMask | locks, root, False, GrabModeAsync, GrabModeAsync);
      else
        XUngrabKey(display, code, ControlMask | locks, root);
    }
    XSync(display, False);
    const int error = g_grabError;
    XSetErrorHandler(g_previousHandler);
    g_previousHandler = nullptr;
    g_grabDisplay = nullptr;
    return error;
  }
};

#else

struct GlobalHotkeys::X11 {
  struct Grab {
    int id;
  };
  std::vector<Grab> grabs;
};

#endif

GlobalHotkeys::GlobalHotkeys(QObject* parent) : QObject(parent), x_(std::make_unique<X11>()) {}

GlobalHotkeys::~GlobalHotkeys() { UnregisterAll(); }

std::string GlobalHotkeys::KeyName(char letter) {
  return std::string("Ctrl+") + static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

bool GlobalHotkeys::IsRegistered(int id) const {
  return std::any_of(x_->grabs.begin(), x_->grabs.end(),
                     [id](const auto& g) { return g.id == id; });
}

int GlobalHotkeys::Count() const { return static_cast<int>(x_->grabs.size()); }

#ifdef TARVEXA_HAVE_X11

bool GlobalHotkeys::Open(std::string* error) {
  if (x_->display) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) {
    *error =
        "this is a Wayland session, where an X11 key grab only sees keys typed into X11 "
        "programs";
    return false;
  }
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    *error = "there is no X11 display (DISPLAY is not set)";
    return false;
  }
  // A server may drop a connection made just after another client left
  // (Xvfb does, now and then); a second or third try gets through.
  Display* display = nullptr;
  for (int attempt = 0; attempt < 3 && !display; ++attempt) {
    if (attempt > 0) QThread::msleep(20);
    display = XOpenDisplay(name);
  }
  if (!display) {
    *error = std::string("the X11 display ") + name + " cannot be opened";
    return false;
  }
  x_->display = display;
  x_->root = DefaultRootWindow(display);
  // Without it a held key sends release-press pairs that look like new presses.
  Bool detectable = False;
  XkbSetDetectableAutoRepeat(display, True, &detectable);

  const unsigned locks[] = {LockMask, ModifierMaskOf(display, XK_Num_Lock),
                            ModifierMaskOf(display, XK_Scroll_Lock)};
  x_->lockVariants.clear();
  for (unsigned subset = 0; subset < 8; ++subset) {
    unsigned mask = 0;
    for (int bit = 0; bit < 3; ++bit)
      if (subset & (1u << bit)) mask |= locks[bit];
    if (std::find(x_->lockVariants.begin(), x_->lockVariants.end(), mask) == x_->lockVariants.end())
      x_->lockVariants.push_back(mask);
  }

  x_->notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
  connect(x_->notifier, &QSocketNotifier::activated, this, &GlobalHotkeys::ReadEvents);
  return true;
}

void GlobalHotkeys::Close() {
  if (!x_->display) return;
  // Close() may run inside the notifier's own signal.
  x_->notifier->setEnabled(false);
  x_->notifier->deleteLater();
  x_->notifier = nullptr;
  XCloseDisplay(x_->display);  // the server drops whatever this connection still holds
  x_->display = nullptr;
  x_->grabs.clear();
}

bool GlobalHotkeys::Register(int id, char letter, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  const int lower = std::tolower(static_cast<unsigned char>(letter));
  if (lower < 'a' || lower > 'z') {
    *error = "a hotkey is Ctrl with a letter";
    return false;
  }
  Unregister(id);
  if (!Open(error)) return false;

  const KeyCode code = XKeysymToKeycode(x_->display, static_cast<KeySym>(XK_a + (lower - 'a')));
  int refused = 0;
  if (code != 0) {
    refused = x_->GrabAll(code, true);
    if (refused) x_->GrabAll(code, false);  // release the combinations that were granted
  }
  if (code == 0 || refused) {
    if (code == 0)
      *error = "the keyboard has no key for " + KeyName(letter);
    else if (refused == BadAccess)
      *error = KeyName(letter) + " is already taken by another program";
    else
      *error = "the X server refused to grab " + KeyName(letter) + " (X error " +
               std::to_string(refused) + ")";
    if (x_->grabs.empty()) Close();
    return false;
  }
  x_->grabs.push_back({id, code, false});
  // The round trip may have queued events that the socket will not announce.
  QMetaObject::invokeMethod(this, &GlobalHotkeys::ReadEvents, Qt::QueuedConnection);
  return true;
}

void GlobalHotkeys::Unregister(int id) {
  auto it =
      std::find_if(x_->grabs.begin(), x_->grabs.end(), [id](const auto& g) { return g.id == id; });
  if (it == x_->grabs.end()) return;
  const KeyCode code = it->code;
  x_->grabs.erase(it);
  const bool shared = std::any_of(x_->grabs.begin(), x_->grabs.end(),
                                  [code](const auto& g) { return g.code == code; });
  if (!shared) x_->GrabAll(code, false);
  if (x_->grabs.empty()) Close();
}

void GlobalHotkeys::UnregisterAll() {
  while (!x_->grabs.empty()) Unregister(x_->grabs.front().id);
  Close();
}

void GlobalHotkeys::ReadEvents() {
  if (!x_->display) return;
  std::vector<int> fired;
  while (x_->display && XPending(x_->display) > 0) {
    XEvent ev;
    XNextEvent(x_->display, &ev);
    if (ev.type != KeyPress && ev.type != KeyRelease) continue;
    for (auto& g : x_->grabs) {
      if (g.code != ev.xkey.keycode) continue;
      if (ev.type == KeyRelease) {
        g.down = false;
      } else if (!g.down && (ev.xkey.state & ControlMask)) {
        g.down = true;
        fired.push_back(g.id);
      }
    }
  }
  // After the reading: a receiver may open a dialog, whose event loop reads on.
  const QPointer<GlobalHotkeys> alive(this);
  for (int id : fired) {
    if (!alive) return;
    emit activated(id);
  }
}

#else

bool GlobalHotkeys::Open(std::string* error) {
  *error = "this build has no X11 support";
  return false;
}
void GlobalHotkeys::Close() {}
bool GlobalHotkeys::Register(int, char, std::string* error) {
  std::string ignored;
  return Open(error ? error : &ignored);
}
void GlobalHotkeys::Unregister(int) {}
void GlobalHotkeys::UnregisterAll() {}
void GlobalHotkeys::ReadEvents() {}

#endif

}  // namespace tarvexa
