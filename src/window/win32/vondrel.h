#pragma once
// The program's one window on the platform's own controls: the choice of
// program, the folder and file lists, the path box and the repair button on
// the left, the instructions on the right. It is built row by row from the
// control table; each notification of a control goes to one handler method
// below, named after the control and the notification.

#include "window/win32/windows_api.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "location/browse_handlers.h"
#include "platform/file_system.h"
#include "repair/repair_operation.h"
#include "repair/repair_outcome.h"
#include "window/control_table.h"
#include "window/win32/control_adapters.h"
#include "window/win32/file_list_box.h"
#include "window/win32/folder_list_box.h"

namespace vondrel::window {

class Vondrel {
 public:
  // Creates the window hidden with every control, and runs the load handling.
  Vondrel(platform::FileSystem& file_system, repair::RepairOperation& repair_operation);
  ~Vondrel();
  Vondrel(const Vondrel&) = delete;
  Vondrel& operator=(const Vondrel&) = delete;

  // Shows the window and gives the focus to the first control in tab order that can take it.
  void Show(int show_command = SW_SHOWNORMAL);
  // Closing the window ends the message loop of the program (not of a test).
  void EndProgramOnClose() { ends_program_ = true; }
  // The keyboard handling of a dialog: Tab and Shift+Tab in tab order, the
  // rest by the platform's dialog manager. True when the message was used.
  bool PreTranslateMessage(MSG& message);

  // The folder that holds the running executable, without a trailing backslash.
  platform::PathText AppPath();
  // Keeps the file list, the path box and the repair button in step with the folder list.
  void Dir1_Change();

  void cmdFind_Click();
  void cmdRepair_Click();
  void optSelect_Click(int index);
  void File1_Click();
  void File1_DblClick();

  HWND Handle() const { return window_; }
  // The controls, by their rows or names.
  HWND Control(const table::ControlRow& row) const { return controls_[table::StackPosition(row)]; }
  HWND Control(std::string_view name, int index = table::kNone) const { return Control(table::Row(name, index)); }
  FolderListBox& Dir1() { return *Dir1_; }
  FileListBox& File1() { return *File1_; }
  // The resolution the layout is at, in dots per inch.
  int Dpi() const { return dpi_; }

  // The controls the Tab key stops at from now on, in tab order: the option
  // group is one stop, at its selected option.
  std::vector<HWND> TabStops() const;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Dispatch(UINT message, WPARAM w, LPARAM l);
  void Command(int id, int code, HWND control);
  LRESULT ControlColour(HDC dc, HWND control);

  void CreateControls();
  HWND Create(const table::ControlRow& row, HWND container, int id);
  void ApplyStackingOrder();
  void ApplyLayout();
  void ApplyFonts();
  void Form_Load();
  void MoveFocus(bool backwards);
  void ShowMessage(const repair::OutcomeMessage& message);

  platform::FileSystem& file_system_;
  repair::RepairOperation& repair_operation_;
  HWND window_ = nullptr;
  std::array<HWND, table::kControls.size()> controls_{};
  int dpi_ = 96;
  HFONT dialog_font_ = nullptr;
  HFONT heading_font_ = nullptr;
  HENHMETAFILE logo_ = nullptr;
  bool ends_program_ = false;

  std::unique_ptr<FolderListBox> Dir1_;
  std::unique_ptr<FileListBox> File1_;
  std::vector<std::unique_ptr<OptionButtonAdapter>> option_adapters_;
  std::unique_ptr<TextBoxAdapter> path_box_;
  std::unique_ptr<TextBoxAdapter> instructions_box_;
  std::unique_ptr<CommandButtonAdapter> repair_button_;
  location::BrowseControls browse_;
};

}  // namespace vondrel::window
