#pragma once
// A rectangle drawn as a thin outline with a transparent inside, which marks
// out a panel of the window without taking clicks or focus.

#include <QWidget>

namespace vondrel::window {

class ShapeBox : public QWidget {
 public:
  explicit ShapeBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vondrel::window
