#pragma once
// The platform's controls seen through the small control interfaces that the
// browse handlers use.

#include "window/win32/windows_api.h"

#include "location/controls.h"
#include "window/win32/wide_text.h"

namespace vondrel::window {

class OptionButtonAdapter : public location::OptionButton {
 public:
  explicit OptionButtonAdapter(HWND button) : button_(button) {}
  bool Value() const override { return SendMessageW(button_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

 private:
  HWND button_;
};

class CommandButtonAdapter : public location::CommandButton {
 public:
  explicit CommandButtonAdapter(HWND button) : button_(button) {}
  void SetEnabled(bool enabled) override { EnableWindow(button_, enabled ? TRUE : FALSE); }

 private:
  HWND button_;
};

// A multi-line edit control keeps its lines joined by CR LF, as the handlers expect.
class TextBoxAdapter : public location::TextBox {
 public:
  explicit TextBoxAdapter(HWND box) : box_(box) {}
  std::u16string Text() const override { return WindowText(box_); }
  void SetText(const std::u16string& text) override { SetWindowTextW(box_, ToWide(text).c_str()); }

 private:
  HWND box_;
};

}  // namespace vondrel::window
