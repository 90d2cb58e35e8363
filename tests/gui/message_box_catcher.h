// Observes the message boxes the program shows and closes them the way a user would.
//
//   MessageBoxCatcher boxes;
//   QTest::mouseClick(login_button, Qt::LeftButton);  // the handler shows a box and waits
//   std::optional<MessageBoxCatcher::Box> box = boxes.next();
//   EXPECT_EQ(box->text, ZH("登陆成功"));
//
// While the catcher lives, every message box that is shown is recorded and then closed by a
// click on its OK button from inside the box's own modal loop, so the code that showed it goes
// on. Create the catcher before the action that shows the box.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/codepage/codepage.h"

namespace gui_test {

class MessageBoxCatcher : public QObject {
 public:
  struct Box {
    Text title;  // CP936 bytes, as the program's texts
    Text text;
    bool plain_text = false;         // shown as it is, not as markup
    bool application_modal = false;  // blocks every other window of the program
    bool has_owner = false;
    std::vector<QMessageBox::StandardButton> buttons;
  };

  // `while_open` runs for every box while it is still open, just before the catcher closes it.
  explicit MessageBoxCatcher(std::function<void(QMessageBox&)> while_open = {})
      : while_open_(std::move(while_open)) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~MessageBoxCatcher() override { QCoreApplication::instance()->removeEventFilter(this); }
  MessageBoxCatcher(const MessageBoxCatcher&) = delete;
  MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

  // The next box not yet returned, once it has been shown and closed; waits up to `timeout_ms`
  // for it, dispatching events. Empty when no further box came.
  std::optional<Box> next(int timeout_ms = 5000) {
    if (!QTest::qWaitFor([this] { return returned_ < closed_; }, timeout_ms)) return std::nullopt;
    return boxes_[returned_++];
  }

  int closed() const { return static_cast<int>(closed_); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (!box || box->property(kSeen).toBool()) return false;
    box->setProperty(kSeen, true);

    Box seen;
    seen.title = Text(cp936(box->windowTitle()));
    seen.text = Text(cp936(box->text()));
    seen.plain_text = box->textFormat() == Qt::PlainText;
    seen.application_modal = box->windowModality() == Qt::ApplicationModal;
    seen.has_owner = box->parentWidget() != nullptr;
    for (QAbstractButton* b : box->buttons()) seen.buttons.push_back(box->standardButton(b));
    boxes_.push_back(std::move(seen));

    // Closed from the box's own loop, once it runs.
    QTimer::singleShot(0, box, [this, box] {
      if (while_open_) while_open_(*box);
      QPointer<QMessageBox> guard(box);
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        QTest::mouseClick(ok, Qt::LeftButton);
      }
      if (guard && guard->isVisible()) guard->close();
      ++closed_;
    });
    return false;
  }

 private:
  static constexpr const char* kSeen = "message_box_catcher_seen";

  static std::string cp936(const QString& s) {
    return platform::codepage::utf16_to_cp936(
        {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())});
  }

  std::function<void(QMessageBox&)> while_open_;
  std::vector<Box> boxes_;
  std::size_t closed_ = 0;
  std::size_t returned_ = 0;
};

}  // namespace gui_test
