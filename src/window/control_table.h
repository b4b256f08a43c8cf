#pragma once
// The window Vondrel as data: its own settings, then one row per control,
// from the top of the stacking order to the bottom. Both the Qt window and
// the Win32 window are built from this table. Positions and sizes are in
// twips from the top-left corner of the client area; the option buttons'
// are from the top-left corner of the inside of their frame.

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "window/twips.h"

namespace vondrel::window::table {

enum class Kind { TextBox, PushButton, Frame, OptionButton, FileList, FolderList, Label, Picture, Rectangle };

// Settings beyond position, size and caption; each is a bit of ControlRow::settings.
enum Setting : unsigned {
  kMultiLine = 1u << 0,
  kReadOnly = 1u << 1,
  kNoTabStop = 1u << 2,        // a text box that the Tab key passes over
  kPanelBackground = 1u << 3,  // the background is system colour 3, an inactive title bar
  kSelected = 1u << 4,         // the option button that is on when the window is created
  kTextCentred = 1u << 5,
  kHeadingFont = 1u << 6,      // kHeadingFontFamily at kHeadingFontPoints, bold
};

inline constexpr int kNone = -1;  // no control-array index, no tab index

struct ControlRow {
  std::string_view name;
  int index;  // index in its control array, or kNone
  Kind kind;
  TwipsRect bounds;
  int tab_index;  // or kNone for controls that never take the focus
  std::u16string_view caption;
  std::string_view container;  // the frame that holds it, or empty for the window itself
  unsigned settings;

  bool Has(Setting setting) const { return (settings & setting) != 0; }
};

// The window itself.
inline constexpr std::u16string_view kCaption = u"Vondrel";
inline constexpr int kClientWidth = 8370;
inline constexpr int kClientHeight = 5220;

// clang-format off
inline constexpr std::array<ControlRow, 13> kControls{{
  // name              index  kind                left  top   width height  tab    caption                  container  settings
  {"txtInstructions", kNone, Kind::TextBox,      {5100,  435, 3150, 4710},   10, u"",                     "",        kMultiLine | kReadOnly | kNoTabStop},
  {"cmdFind",         kNone, Kind::PushButton,   {3960,  720,  975,  255},    8, u"Find",                 "",        0},
  {"Frame1",          kNone, Kind::Frame,        {2640,    0, 2295,  975},    4, u"",                     "",        kPanelBackground},
  {"optSelect",           0, Kind::OptionButton, { 120,  240, 2010,  195},    5, u"Tamberlo",             "Frame1",  kSelected | kPanelBackground},
  {"optSelect",           1, Kind::OptionButton, { 120,  480, 2085,  195},    6, u"Guvrine",              "Frame1",  kPanelBackground},
  {"optSelect",           2, Kind::OptionButton, { 120,  720, 1005,  195},    7, u"Other",                "Frame1",  kPanelBackground},
  {"File1",           kNone, Kind::FileList,     {2640, 1080, 2295, 2820},    3, u"",                     "",        0},
  {"Dir1",            kNone, Kind::FolderList,   { 120, 1080, 2535, 2790},    2, u"",                     "",        0},
  {"txtPath",         kNone, Kind::TextBox,      { 120, 3960, 4815,  765},    1, u"",                     "",        kMultiLine | kReadOnly | kPanelBackground},
  {"cmdRepair",       kNone, Kind::PushButton,   {2595, 4800, 2295,  375},    0, u"Vondrel",              "",        0},
  {"Label4",          kNone, Kind::Label,        {5100,   75, 3180,  300},    9, u"Vondrel Instructions", "",        kTextCentred | kHeadingFont},
  {"Image1",          kNone, Kind::Picture,      { 120,    0,  930, 1050}, kNone, u"",                     "",        0},
  {"Shape1",          kNone, Kind::Rectangle,    {5040,  -15, 3360, 5610}, kNone, u"",                     "",        0},
}};
// clang-format on

// Label4's font; the nearest bold sans-serif of the same size stands in
// where this family is not installed.
inline constexpr std::string_view kHeadingFontFamily = "MS Sans Serif";
inline constexpr double kHeadingFontPoints = 9.75;

// What txtInstructions shows once the window has loaded: six lines joined by
// CR LF, the second one empty, no CR LF after the last.
inline constexpr char16_t kInstructionsText[] =
    u"This utility attempts to compact and repair a damaged database.\r\n"
    u"\r\n"
    u"1. Select the name of the program; Tamberlo, Guvrine, or Other.\r\n"
    u"2. If you installed the program in the default location, press the Find button to locate the file. "
    u"If you installed the program to a different location, navigate to the directory and then click on the "
    u"database file.\r\n"
    u"3. Press the Vondrel button.\r\n"
    u"A message box will pop up to tell you if the repair was successful.";

// The row of a control by name (and index within its control array); a
// name that is not in the table is a programming error and stops the build
// where the lookup is constant.
constexpr const ControlRow& Row(std::string_view name, int index = kNone) {
  for (const ControlRow& row : kControls) {
    if (row.name == name && row.index == index) return row;
  }
  throw std::out_of_range("no such control");
}

// The position of a row in kControls: 0 is the top of the stacking order.
constexpr std::size_t StackPosition(const ControlRow& row) { return static_cast<std::size_t>(&row - kControls.data()); }

// The rows that have a tab index, in tab order (cmdRepair first).
std::vector<const ControlRow*> InTabOrder();

}  // namespace vondrel::window::table
