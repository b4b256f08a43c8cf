#pragma once
// The Qt controls of the window seen through the small control interfaces
// that the browse handlers use.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "location/controls.h"
#include "window/qt_text.h"

namespace vondrel::window {

class OptionButtonAdapter : public location::OptionButton {
 public:
  explicit OptionButtonAdapter(const QRadioButton& button) : button_(button) {}
  bool Value() const override { return button_.isChecked(); }

 private:
  const QRadioButton& button_;
};

class CommandButtonAdapter : public location::CommandButton {
 public:
  explicit CommandButtonAdapter(QPushButton& button) : button_(button) {}
  void SetEnabled(bool enabled) override { button_.setEnabled(enabled); }

 private:
  QPushButton& button_;
};

// A multi-line text box holds its lines joined by CR LF, as the platform's
// text boxes do; the Qt editor keeps plain line feeds.
class TextBoxAdapter : public location::TextBox {
 public:
  explicit TextBoxAdapter(QPlainTextEdit& box) : box_(box) {}
  std::u16string Text() const override {
    QString text = box_.toPlainText();
    return ToU16(text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
  }
  void SetText(const std::u16string& text) override {
    QString plain = ToQString(text);
    box_.setPlainText(plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  }

 private:
  QPlainTextEdit& box_;
};

}  // namespace vondrel::window
