#include "platform/gui/gui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/events/events.h"
#include "platform/picture/picture.h"

namespace platform::gui {
namespace {

// The one conversion between the program's CP936 bytes and Qt's UTF-16.
QString to_qstring(std::string_view cp936) {
  const std::u16string units = codepage::cp936_to_utf16(cp936);
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

std::string from_qstring(const QString& s) {
  return codepage::utf16_to_cp936(
      {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())});
}

bool gui_exists() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// A closed window must not be deleted while one of our click handlers runs: the handler (and
// Qt's delivery of the click under it) may belong to that very window and resume after a nested
// event loop. Windows closed meanwhile wait here until the outermost handler has returned, then
// go through Qt's ordinary deferred deletion.
int handler_depth = 0;
std::vector<QPointer<QWidget>>& graveyard() {
  static std::vector<QPointer<QWidget>> windows;
  return windows;
}

void retire(QWidget* window) {
  if (handler_depth == 0) {
    window->deleteLater();
  } else {
    graveyard().emplace_back(window);
  }
}

class HandlerScope {
 public:
  HandlerScope() { ++handler_depth; }
  ~HandlerScope() {
    if (--handler_depth > 0) return;
    for (QPointer<QWidget>& window : graveyard()) {
      if (window) window->deleteLater();
    }
    graveyard().clear();
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;
};

class FormWindow : public QWidget {
 public:
  bool gone() const { return gone_; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    if (!gone_) {
      gone_ = true;
      retire(this);
    }
  }

 private:
  bool gone_ = false;
};

QWidget* make_control(const ControlSpec& spec, QWidget* parent) {
  const QString caption = to_qstring(spec.caption);
  switch (spec.kind) {
    case ControlKind::push_button:
      return new QPushButton(caption, parent);
    case ControlKind::radio_button: {
      auto* radio = new QRadioButton(caption, parent);  // exclusive among its siblings
      radio->setChecked(spec.checked);
      return radio;
    }
    case ControlKind::group_box:
      return new QGroupBox(caption, parent);
    case ControlKind::label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      label->setText(caption);
      return label;
    }
    case ControlKind::edit_box: {
      auto* edit = new QLineEdit(caption, parent);
      edit->setMaxLength(std::numeric_limits<int>::max());
      return edit;
    }
    case ControlKind::picture_box: {
      auto* picture = new QLabel(parent);
      picture->setAlignment(Qt::AlignCenter);
      return picture;
    }
  }
  return new QWidget(parent);
}

}  // namespace

namespace detail {
struct WindowState {
  QPointer<FormWindow> window;
  std::map<std::string, QPointer<QWidget>, std::less<>> controls;

  FormWindow* live() const { return window && !window->gone() ? window.data() : nullptr; }
  QWidget* control(std::string_view name) const {
    if (!live()) return nullptr;
    const auto it = controls.find(name);
    return it == controls.end() ? nullptr : it->second.data();
  }
};
}  // namespace detail

bool Window::alive() const {
  return state_ && state_->live();
}

bool Window::on_click(std::string_view control, std::function<void()> handler) {
  auto* button = qobject_cast<QAbstractButton*>(state_ ? state_->control(control) : nullptr);
  if (!button || !handler) return false;
  // `clicked` comes after a radio button's automatic switch.
  QObject::connect(button, &QAbstractButton::clicked, button, [handler = std::move(handler)] {
    HandlerScope scope;
    const auto run = handler;  // outlives the connection should the handler drop it
    run();
  });
  return true;
}

bool Window::checked(std::string_view control) const {
  auto* radio = qobject_cast<QRadioButton*>(state_ ? state_->control(control) : nullptr);
  return radio && radio->isChecked();
}

std::string Window::text(std::string_view control) const {
  QWidget* widget = state_ ? state_->control(control) : nullptr;
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return from_qstring(edit->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return from_qstring(button->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return from_qstring(label->text());
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return from_qstring(group->title());
  return {};
}

bool Window::visible(std::string_view control) const {
  QWidget* widget = state_ ? state_->control(control) : nullptr;
  return widget && !widget->isHidden();
}

std::string Window::title() const {
  FormWindow* window = state_ ? state_->live() : nullptr;
  return window ? from_qstring(window->windowTitle()) : std::string();
}

void Window::set_caption(std::string_view control, std::string_view caption) {
  QWidget* widget = state_ ? state_->control(control) : nullptr;
  if (!widget) return;
  const QString text = to_qstring(caption);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  }
}

void Window::set_visible(std::string_view control, bool visible) {
  if (QWidget* widget = state_ ? state_->control(control) : nullptr) widget->setVisible(visible);
}

void Window::set_picture(std::string_view control, std::string_view bytes) {
  auto* box = qobject_cast<QLabel*>(state_ ? state_->control(control) : nullptr);
  if (!box) return;
  std::optional<platform::picture::Image> image =
      platform::picture::decode_png(bytes, platform::picture::PixelLayout::argb32_premultiplied);
  if (!image) {
    box->clear();
    return;
  }
  // The pixmap made from the QImage may go on sharing its pixels, so the QImage takes the
  // decoded pixels over and frees them with its last copy (no second copy of a large picture).
  using Pixels = std::vector<std::uint8_t>;
  auto pixels = std::make_unique<Pixels>(std::move(image->pixels));
  QImage picture(
      pixels->data(), image->width, image->height, image->width * 4,
      QImage::Format_ARGB32_Premultiplied, [](void* p) { delete static_cast<Pixels*>(p); },
      pixels.get());
  if (picture.isNull()) {
    box->clear();
    return;
  }
  pixels.release();  // `picture` owns them now
  QPixmap pixmap = QPixmap::fromImage(std::move(picture));
  if (pixmap.width() > box->width() || pixmap.height() > box->height()) {
    pixmap = pixmap.scaled(box->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  box->setPixmap(pixmap);
}

void Window::set_title(std::string_view title) {
  if (FormWindow* window = state_ ? state_->live() : nullptr) {
    window->setWindowTitle(to_qstring(title));
  }
}

void Window::show() {
  if (FormWindow* window = state_ ? state_->live() : nullptr) {
    window->show();
    window->raise();
    window->activateWindow();
  }
}

void Window::bring_to_front() {
  if (FormWindow* window = state_ ? state_->live() : nullptr) {
    if (window->isMinimized()) window->showNormal();
    window->raise();
    window->activateWindow();
  }
}

bool Window::minimised() const {
  FormWindow* window = state_ ? state_->live() : nullptr;
  return window && window->isMinimized();
}

void Window::destroy() {
  if (FormWindow* window = state_ ? state_->live() : nullptr) window->close();
}

Window create_window(const WindowSpec& spec) {
  if (!gui_exists()) return Window();
  auto state = std::make_shared<detail::WindowState>();
  auto* window = new FormWindow;  // owned by Qt's deferred deletion once closed
  state->window = window;
  window->setObjectName(to_qstring(spec.name));
  window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint);
  window->setWindowTitle(to_qstring(spec.title));
  window->setFixedSize(spec.width - 2 * kFrameBorder, spec.height - kTitleBarHeight - kFrameBorder);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect outer(0, 0, spec.width, spec.height);
    outer.moveCenter(screen->availableGeometry().center());
    window->move(outer.topLeft());  // a window's position is that of its frame
  }

  for (const ControlSpec& c : spec.controls) {
    QWidget* parent = window;
    if (!c.parent.empty()) {
      const auto it = state->controls.find(c.parent);
      if (it != state->controls.end() && qobject_cast<QGroupBox*>(it->second.data())) {
        parent = it->second.data();
      }
    }
    QWidget* control = make_control(c, parent);
    control->setObjectName(to_qstring(c.name));
    control->setGeometry(c.left, c.top, c.width, c.height);
    if (c.hidden) control->hide();
    state->controls.emplace(c.name, control);
  }
  return Window(std::move(state));
}

void message_box(std::string_view text) {
  if (!gui_exists()) return;
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("信息："), to_qstring(text),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);  // a server reply is shown as it is, never as markup
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

struct Application::Impl {
  std::unique_ptr<QApplication> app;
  std::function<void()> previous_pump;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  impl_->app = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(true);
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(12);
  QApplication::setFont(font);
  impl_->previous_pump = set_event_pump([] {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  });
}

Application::~Application() {
  set_event_pump(std::move(impl_->previous_pump));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // Windows still open at the end go with the platform.
  std::vector<QPointer<QWidget>> windows;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->parentWidget()) windows.emplace_back(widget);
  }
  for (QPointer<QWidget>& window : windows) delete window.data();
  graveyard().clear();
  impl_->app.reset();
}

void Application::run() {
  bool any_open = false;
  for (QWidget* widget : QApplication::topLevelWidgets())
    any_open = any_open || widget->isVisible();
  if (!any_open) return;
  QApplication::exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace platform::gui
