// Shared by the GUI tests: the one GUI platform of the test process, per-test reset, and lookups
// of windows and controls by name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/session.h"
#include "platform/gui/gui.h"

namespace gui_test {

// Creates the GUI platform (Qt's offscreen platform unless told otherwise) before the first test
// and ends it after the last.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says so each time it cannot do what a window asks of it.
    previous_handler_ = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (message.startsWith(QLatin1String("This plugin does not support"))) return;
          previous_handler_(type, context, message);
        });
    application_ = std::make_unique<platform::gui::Application>(argc_, argv_);
  }
  void TearDown() override {
    application_.reset();
    qInstallMessageHandler(previous_handler_);
  }
  platform::gui::Application& application() { return *application_; }

 private:
  int argc_ = 1;
  char arg0_[9] = "gui_test";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<platform::gui::Application> application_;
  static inline QtMessageHandler previous_handler_ = nullptr;
};

inline GuiEnvironment* const environment =
    static_cast<GuiEnvironment*>(::testing::AddGlobalTestEnvironment(new GuiEnvironment));

// Closes every window and lets Qt delete them.
inline void close_all_windows() {
  std::vector<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets()) windows.emplace_back(w);
  for (QPointer<QWidget>& w : windows) {
    if (w) w->close();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The open (visible) windows of that name.
inline std::vector<QWidget*> open_windows(const char* name) {
  std::vector<QWidget*> found;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName() == QLatin1String(name)) found.push_back(w);
  }
  return found;
}

inline QWidget* open_window(const char* name) {
  const std::vector<QWidget*> found = open_windows(name);
  return found.size() == 1 ? found.front() : nullptr;
}

// A control by its form name, given in UTF-8.
template <typename T = QWidget>
T* control(QWidget* window, const char* form_name) {
  return window ? window->findChild<T*>(QString::fromUtf8(form_name)) : nullptr;
}

// Every test starts with no window and empty session values.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    close_all_windows();
    app::session() = {};
  }
  void TearDown() override { close_all_windows(); }
};

}  // namespace gui_test
