#pragma once
// The program's one window: the choice of program, the folder and file lists,
// the path box and the repair button on the left, the instructions on the
// right. Each notification of a control goes to one handler method below,
// named after the control and the notification.

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <array>
#include <memory>

#include "location/browse_handlers.h"
#include "platform/file_system.h"
#include "repair/repair_operation.h"
#include "repair/repair_outcome.h"
#include "window/control_adapters.h"
#include "window/control_table.h"
#include "window/file_list_box.h"
#include "window/folder_list_box.h"

class QSvgWidget;

namespace vondrel::window {

class ShapeBox;

class Vondrel : public QWidget {
  Q_OBJECT

 public:
  // Creates every control and runs the load handling; the caller shows it.
  Vondrel(platform::FileSystem& file_system, repair::RepairOperation& repair_operation, QWidget* parent = nullptr);
  ~Vondrel() override;

  // The folder that holds the running executable, without a trailing backslash.
  platform::PathText AppPath();
  // Keeps the file list, the path box and the repair button in step with the folder list.
  void Dir1_Change();

  void cmdFind_Click();
  void cmdRepair_Click();
  void optSelect_Click(int index);
  void File1_Click();
  void File1_DblClick();

  // The controls, by their names.
  QPlainTextEdit* txtInstructions() const { return txtInstructions_; }
  QPushButton* cmdFind() const { return cmdFind_; }
  QGroupBox* Frame1() const { return Frame1_; }
  QRadioButton* optSelect(int index) const { return optSelect_.at(static_cast<std::size_t>(index)); }
  FileListBox* File1() const { return File1_; }
  FolderListBox* Dir1() const { return Dir1_; }
  QPlainTextEdit* txtPath() const { return txtPath_; }
  QPushButton* cmdRepair() const { return cmdRepair_; }
  QLabel* Label4() const { return Label4_; }
  QSvgWidget* Image1() const { return Image1_; }
  QWidget* Shape1() const;

  // The controls that take the keyboard focus, in tab order.
  std::vector<QWidget*> TabOrder() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  QWidget* Create(const table::ControlRow& row, QWidget* container);
  QWidget* Control(const table::ControlRow& row) const;
  void ApplyLayout();
  void ApplyAppearance();
  void ApplyTabOrder();
  void Connect();
  void KeepSelectedOptionAsTabStop();
  void Form_Load();
  void ShowMessage(const repair::OutcomeMessage& message);

  platform::FileSystem& file_system_;
  repair::RepairOperation& repair_operation_;

  ShapeBox* Shape1_ = nullptr;
  QSvgWidget* Image1_ = nullptr;
  QLabel* Label4_ = nullptr;
  QPushButton* cmdRepair_ = nullptr;
  QPlainTextEdit* txtPath_ = nullptr;
  FolderListBox* Dir1_ = nullptr;
  FileListBox* File1_ = nullptr;
  QGroupBox* Frame1_ = nullptr;
  std::array<QRadioButton*, 3> optSelect_{};
  QPushButton* cmdFind_ = nullptr;
  QPlainTextEdit* txtInstructions_ = nullptr;

  std::vector<std::unique_ptr<OptionButtonAdapter>> option_adapters_;
  std::unique_ptr<TextBoxAdapter> path_box_;
  std::unique_ptr<TextBoxAdapter> instructions_box_;
  std::unique_ptr<CommandButtonAdapter> repair_button_;
  location::BrowseControls browse_;
  bool shown_before_ = false;
};

}  // namespace vondrel::window
