// Windows built from descriptions, controls reached by their form names, the message box and
// the event loop (Qt 6 Widgets underneath; nothing of Qt shows here).
//
// Every text that crosses this interface (titles, form names, captions, edit-box contents,
// message-box texts) is CP936 bytes. Everything runs on the one GUI thread.
//
// Where no GUI exists (no `Application` alive) every operation here does nothing or returns the
// empty value: `create_window` gives a handle to no window, `message_box` returns at once.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::gui {

enum class ControlKind { push_button, radio_button, group_box, label, edit_box, picture_box };

struct ControlSpec {
  std::string name{};  // the form name
  ControlKind kind = ControlKind::label;
  // Empty: the window itself. Otherwise the form name of a group box listed earlier in the
  // table; the position is then relative to that group box. An unknown name means the window.
  std::string parent{};
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::string caption{};
  bool checked = false;  // radio buttons only
  bool hidden = false;
};

// A fixed-frame window with a title bar, a system menu, a minimise and a close button and no
// maximise button, opened centred on the screen.
struct WindowSpec {
  std::string name{};  // the window's own name, for finding it (e.g. from tests)
  // The outer size, frame and title bar included. The client area, where controls sit at fixed
  // pixel positions, is that size less the nominal frame below.
  int width = 0;
  int height = 0;
  std::string title{};
  std::vector<ControlSpec> controls{};
};

// The nominal frame of a fixed-frame window with a title bar: `kFrameBorder` pixels on the left,
// right and bottom, `kTitleBarHeight` pixels on top (border included).
inline constexpr int kFrameBorder = 3;
inline constexpr int kTitleBarHeight = 26;

namespace detail {
struct WindowState;
}

// A guarded handle to a window. Copies refer to the same window; none of them owns it. A window
// is gone once the user has closed it or `destroy` has run, and every operation on a gone window
// (or on a default-constructed handle) does nothing and returns the empty value, so a handler
// that resumes after a nested event loop may call them without checking first.
class Window {
 public:
  Window() = default;

  bool alive() const;

  // Runs `handler` on every click of the named button or radio button, after a radio button has
  // switched. False when there is no such control.
  bool on_click(std::string_view control, std::function<void()> handler);

  // The checked state of a radio button; false for any other control.
  bool checked(std::string_view control) const;
  // The text of an edit box, or the caption of any other control.
  std::string text(std::string_view control) const;
  bool visible(std::string_view control) const;
  std::string title() const;

  void set_caption(std::string_view control, std::string_view caption);
  void set_visible(std::string_view control, bool visible);
  // Shows the PNG picture held in `bytes` in a picture box, scaled down to fit the box with its
  // aspect kept (a smaller picture is shown at its own size), centred. Empty bytes, or bytes that
  // are not a decodable PNG, leave the box without a picture.
  void set_picture(std::string_view control, std::string_view bytes);
  void set_title(std::string_view title);

  // Shows the window and activates it.
  void show();
  // Restores the window when it is minimised, then raises and activates it.
  void bring_to_front();
  bool minimised() const;
  // Closes the window for good: it disappears at once and the handle is gone from then on.
  void destroy();

  friend bool operator==(const Window& a, const Window& b) { return a.state_ == b.state_; }

 private:
  friend Window create_window(const WindowSpec& spec);
  explicit Window(std::shared_ptr<detail::WindowState> state) : state_(std::move(state)) {}

  std::shared_ptr<detail::WindowState> state_;
};

// Builds the window and its controls in their start state, hidden until `show`.
Window create_window(const WindowSpec& spec);

// A task-modal box without owner window: title "信息：", the text as plain text, one OK button.
// Runs its own modal loop and returns when the user has closed the box.
void message_box(std::string_view text);

// The GUI platform for the lifetime of this object: one per process, on the GUI thread. While it
// lives, `platform::process_events` dispatches every pending event (deferred deletions included),
// and the program ends its loop when its last open window is closed.
class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Runs the event loop until the last open window has been closed; returns at once when no
  // window is open.
  void run();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::gui
