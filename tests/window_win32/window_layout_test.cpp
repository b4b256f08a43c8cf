// The Win32 window's layout, stacking, texts, look and fixed border, as the
// user sees them at 96 dpi (Wine's default resolution).

#include <gtest/gtest.h>

#include "window_win32/window_fixture.h"

namespace vondrel::window {
namespace {

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

std::string Rect(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

std::string NameOf(const table::ControlRow& row) {
  return std::string(row.name) + (row.index == table::kNone ? "" : std::to_string(row.index));
}

class Win32WindowLayoutTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  void SetUp() override {
    Open(u"C:\\Tools");
    ASSERT_EQ(window->Dpi(), 96);
  }
};

TEST_F(Win32WindowLayoutTest, EveryControlSitsWhereTheTableSaysInPixels) {
  const std::vector<std::pair<HWND, std::string>> expected{
      {Control("txtInstructions"), "340,29 210x314"}, {Control("cmdFind"), "264,48 65x17"},
      {Control("Frame1"), "176,0 153x65"},           {Control("optSelect", 0), "8,16 134x13"},
      {Control("optSelect", 1), "8,32 139x13"},      {Control("optSelect", 2), "8,48 67x13"},
      {Control("File1"), "176,72 153x188"},          {Control("Dir1"), "8,72 169x186"},
      {Control("txtPath"), "8,264 321x51"},          {Control("cmdRepair"), "173,320 153x25"},
      {Control("Label4"), "340,5 212x20"},           {Control("Image1"), "8,0 62x70"},
      {Control("Shape1"), "336,-1 224x374"},
  };
  for (const auto& [control, place] : expected) EXPECT_EQ(Rect(PlaceOf(control)), place) << testing::TextOf(control);
  RECT client{};
  GetClientRect(window->Handle(), &client);
  EXPECT_EQ(Rect(client), "0,0 558x348");
  for (int index = 0; index < 3; ++index) EXPECT_EQ(GetParent(Control("optSelect", index)), Control("Frame1"));
  // Find covers the frame's bottom-right corner exactly.
  EXPECT_EQ(PlaceOf(Control("cmdFind")).right, PlaceOf(Control("Frame1")).right);
  EXPECT_EQ(PlaceOf(Control("cmdFind")).bottom, PlaceOf(Control("Frame1")).bottom);
}

TEST_F(Win32WindowLayoutTest, OnAScreenOfAnotherResolutionTheLayoutScalesWithIt) {
  // What Windows sends a window that is dragged onto a 120 dpi screen (one
  // that fits on the test's 1024 x 768 screen: Windows keeps a window within it).
  RECT suggested{10, 20, 10 + 720, 20 + 480};
  SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window->Dpi(), 120);
  RECT client{};
  GetClientRect(window->Handle(), &client);
  EXPECT_EQ(Rect(client), "0,0 698x435");
  EXPECT_EQ(Rect(PlaceOf(Control("cmdRepair"))), "216,400 192x31");
  EXPECT_EQ(Rect(PlaceOf(Control("optSelect", 1))), "10,40 174x16");
  EXPECT_EQ(Rect(PlaceOf(Control("Shape1"))), "420,-1 280x467");
  LOGFONTW heading{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control("Label4"), WM_GETFONT, 0, 0)), sizeof heading, &heading);
  EXPECT_EQ(heading.lfHeight, -16) << "9.75 points at 120 dpi";
  RECT outer{};
  GetWindowRect(window->Handle(), &outer);
  EXPECT_EQ(outer.left, 10) << "at the place Windows suggests";
  EXPECT_EQ(outer.top, 20);
}

TEST_F(Win32WindowLayoutTest, ControlsStackInTheTablesOrder) {
  std::vector<std::string> top_to_bottom;
  for (HWND child = GetWindow(window->Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    for (const table::ControlRow& row : table::kControls) {
      if (window->Control(row) == child) top_to_bottom.push_back(NameOf(row));
    }
  }
  EXPECT_EQ(top_to_bottom, (std::vector<std::string>{"txtInstructions", "cmdFind", "Frame1", "File1", "Dir1", "txtPath",
                                                     "cmdRepair", "Label4", "Image1", "Shape1"}));
  std::vector<std::string> in_frame;
  for (HWND child = GetWindow(Control("Frame1"), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    in_frame.push_back(testing::TextOf(child));
  }
  EXPECT_EQ(in_frame, (std::vector<std::string>{"Tamberlo", "Guvrine", "Other"}));
  // Where controls overlap, the upper one is the one the mouse finds.
  Show();
  const auto hit = [&](HWND control) {
    const RECT place = PlaceOf(control);
    return ChildWindowFromPointEx(window->Handle(), POINT{(place.left + place.right) / 2, (place.top + place.bottom) / 2},
                                  CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
  };
  EXPECT_EQ(hit(Control("cmdFind")), Control("cmdFind"));
  EXPECT_EQ(hit(Control("Label4")), Control("Label4"));
  EXPECT_EQ(hit(Control("txtInstructions")), Control("txtInstructions"));
}

TEST_F(Win32WindowLayoutTest, TextsAreTheFixedTexts) {
  EXPECT_EQ(testing::TextOf(window->Handle()), "Vondrel");
  EXPECT_EQ(testing::TextOf(Control("cmdFind")), "Find");
  EXPECT_EQ(testing::TextOf(Control("cmdRepair")), "Vondrel");
  EXPECT_EQ(testing::TextOf(Control("Label4")), "Vondrel Instructions");
  EXPECT_EQ(testing::TextOf(Control("optSelect", 0)), "Tamberlo");
  EXPECT_EQ(testing::TextOf(Control("optSelect", 1)), "Guvrine");
  EXPECT_EQ(testing::TextOf(Control("optSelect", 2)), "Other");
  EXPECT_EQ(testing::TextOf(Control("Frame1")), "");
  EXPECT_EQ(testing::TextOf(Control("txtInstructions")),
            "This utility attempts to compact and repair a damaged database.\r\n\r\n"
            "1. Select the name of the program; Tamberlo, Guvrine, or Other.\r\n"
            "2. If you installed the program in the default location, press the Find button to locate the file. "
            "If you installed the program to a different location, navigate to the directory and then click on "
            "the database file.\r\n"
            "3. Press the Vondrel button.\r\n"
            "A message box will pop up to tell you if the repair was successful.");
}

TEST_F(Win32WindowLayoutTest, ControlsAreOfTheirKindsWithTheirSettings) {
  const auto style = [](HWND control) { return GetWindowLongPtrW(control, GWL_STYLE); };
  for (const char* box : {"txtPath", "txtInstructions"}) {
    EXPECT_TRUE(style(Control(box)) & ES_MULTILINE) << box;
    EXPECT_TRUE(style(Control(box)) & ES_READONLY) << box;
  }
  EXPECT_TRUE(style(Control("txtPath")) & WS_TABSTOP);
  EXPECT_FALSE(style(Control("txtInstructions")) & WS_TABSTOP);
  for (int index = 0; index < 3; ++index) {
    EXPECT_EQ(style(Control("optSelect", index)) & BS_TYPEMASK, BS_AUTORADIOBUTTON) << index;
    EXPECT_EQ((style(Control("optSelect", index)) & WS_GROUP) != 0, index == 0) << "one group, from index 0";
  }
  EXPECT_TRUE(Checked(0));
  EXPECT_FALSE(Checked(1));
  EXPECT_FALSE(Checked(2));
  EXPECT_EQ(style(Control("cmdRepair")) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_TRUE(style(Control("Dir1")) & LBS_NOTIFY);
  EXPECT_TRUE(style(Control("File1")) & LBS_NOTIFY);
  EXPECT_EQ(style(Control("Label4")) & SS_TYPEMASK, SS_CENTER);
  EXPECT_EQ(style(Control("Image1")) & SS_TYPEMASK, SS_ENHMETAFILE);
  EXPECT_TRUE(GetWindowLongPtrW(Control("Frame1"), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
}

TEST_F(Win32WindowLayoutTest, TheBorderIsAFixedDialogBorder) {
  const LONG_PTR style = GetWindowLongPtrW(window->Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(GetWindowLongPtrW(window->Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  Show();
  // The edges and corners offer no sizing.
  RECT outer{};
  GetWindowRect(window->Handle(), &outer);
  const LPARAM right_edge = MAKELPARAM(outer.right - 1, (outer.top + outer.bottom) / 2);
  const LPARAM corner = MAKELPARAM(outer.right - 1, outer.bottom - 1);
  EXPECT_EQ(SendMessageW(window->Handle(), WM_NCHITTEST, 0, right_edge), HTBORDER);
  EXPECT_EQ(SendMessageW(window->Handle(), WM_NCHITTEST, 0, corner), HTBORDER);
}

TEST_F(Win32WindowLayoutTest, OpensInTheMiddleOfTheScreen) {
  Show();
  RECT outer{};
  GetWindowRect(window->Handle(), &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window->Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 2);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - (work.top + work.bottom)), 2);
}

TEST_F(Win32WindowLayoutTest, ThePanelsUseTheInactiveTitleBarColour) {
  const COLORREF panel = GetSysColor(COLOR_INACTIVECAPTION);
  Show();
  HDC dc = GetDC(window->Handle());
  EXPECT_EQ(GetPixel(dc, 150, 340), panel) << "bare window background left of the repair button";
  ReleaseDC(window->Handle(), dc);
  const auto colour_asked = [&](HWND control) {
    HDC control_dc = GetDC(control);
    SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(control_dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF background = GetBkColor(control_dc);
    ReleaseDC(control, control_dc);
    return background;
  };
  EXPECT_EQ(colour_asked(Control("txtPath")), panel);
  EXPECT_EQ(colour_asked(Control("Label4")), panel);
  for (int index = 0; index < 3; ++index) EXPECT_EQ(colour_asked(Control("optSelect", index)), panel) << index;
  EXPECT_EQ(colour_asked(Control("txtInstructions")), GetSysColor(COLOR_WINDOW));
  HDC frame_dc = GetDC(Control("Frame1"));
  EXPECT_EQ(GetPixel(frame_dc, 40, 62), panel) << "inside the frame, below the last option";
  ReleaseDC(Control("Frame1"), frame_dc);
}

TEST_F(Win32WindowLayoutTest, TheHeadingIsMsSansSerifBoldAtNineAndThreeQuarterPoints) {
  const auto font_of = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
  };
  const LOGFONTW heading = font_of(Control("Label4"));
  EXPECT_EQ(testing::Utf8(std::wstring(heading.lfFaceName)), "MS Sans Serif");
  EXPECT_EQ(heading.lfWeight, FW_BOLD);
  EXPECT_EQ(heading.lfHeight, -13) << "9.75 points at 96 dpi";
  for (const char* other : {"cmdFind", "cmdRepair", "txtPath", "File1"}) {
    EXPECT_EQ(font_of(Control(other)).lfWeight, FW_NORMAL) << other << " keeps the dialog font";
  }
}

TEST_F(Win32WindowLayoutTest, TheLogoIsAVectorPictureThatFillsItsBox) {
  const auto logo = reinterpret_cast<HENHMETAFILE>(SendMessageW(Control("Image1"), STM_GETIMAGE, IMAGE_ENHMETAFILE, 0));
  ASSERT_NE(logo, nullptr);
  ENHMETAHEADER header{};
  ASSERT_GT(GetEnhMetaFileHeader(logo, sizeof header, &header), 0u);
  // 2491 x 2851 units at 1440 to the inch, in hundredths of a millimetre.
  EXPECT_EQ(header.rclFrame.right - header.rclFrame.left, 4392);
  EXPECT_EQ(header.rclFrame.bottom - header.rclFrame.top, 5027);
  Show();
  HDC dc = GetDC(Control("Image1"));
  const COLORREF panel = GetSysColor(COLOR_INACTIVECAPTION);
  int drawn_near_top = 0, drawn_near_bottom = 0;
  for (int x = 0; x < 62; ++x) {
    if (GetPixel(dc, x, 12) != panel) ++drawn_near_top;
    if (GetPixel(dc, x, 67) != panel) ++drawn_near_bottom;
  }
  ReleaseDC(Control("Image1"), dc);
  EXPECT_GT(drawn_near_top, 20);
  EXPECT_GT(drawn_near_bottom, 40);
}

}  // namespace
}  // namespace vondrel::window
