#pragma once
// System-wide hotkeys on X11. Each hotkey is Control plus one letter, grabbed
// passively on the root window through an X connection of this object's
// own, so the key reaches this program whichever window has the focus. The
// grab is made for every combination of the lock modifiers (Caps Lock, Num
// Lock, Scroll Lock), so a lit lock key does not switch the hotkey off.
//
// Register() fails, with a reason, when there is no X11 display (a headless
// or Wayland-only session: DISPLAY not set or not reachable), when the
// session is a Wayland one (an X11 grab there only sees keys typed into X11
// programs), or when another client already holds the grab (the server
// refuses it with BadAccess, caught by a temporary error handler and a
// round trip).
//
// A held key's auto-repeat is not passed on: one press, one activation.
// The connection is opened by the first Register() and closed when the last
// hotkey is released; the destructor releases them all.
// Thread affinity: the thread that owns the object (the GUI thread); its
// event loop reads the connection and delivers activated().

#include <QtCore/QObject>

#include <memory>
#include <string>

namespace tarvexa {

class GlobalHotkeys : public QObject {
  Q_OBJECT

 public:
  explicit GlobalHotkeys(QObject* parent = nullptr);
  ~GlobalHotkeys() override;

  // Grabs Ctrl+letter (A to Z) as hotkey id. Registering a held id again
  // first releases its old key. On failure nothing of this key stays
  // grabbed and *error says why.
  bool Register(int id, char letter, std::string* error);
  void Unregister(int id);
  void UnregisterAll();
  bool IsRegistered(int id) const;
  int Count() const;

  // "Ctrl+R" and the like.
  static std::string KeyName(char letter);

 signals:
  void activated(int id);

 private:
  struct X11;
  void ReadEvents();
  bool Open(std::string* error);
  void Close();

  std::unique_ptr<X11> x_;
};

}  // namespace tarvexa
