#pragma once
// The fixed layout and texts of the window Vondrel. Positions are in twips
// from the top-left corner of the client area; the option buttons' are from
// the top-left corner of their frame.

#include "window/twips.h"

namespace vondrel::window::layout {

inline constexpr int kClientWidth = 8370;
inline constexpr int kClientHeight = 5220;

inline constexpr TwipsRect kInstructions{5100, 435, 3150, 4710};
inline constexpr TwipsRect kFind{3960, 720, 975, 255};
inline constexpr TwipsRect kFrame{2640, 0, 2295, 975};
inline constexpr TwipsRect kOptions[3]{
    {120, 240, 2010, 195},
    {120, 480, 2085, 195},
    {120, 720, 1005, 195},
};
inline constexpr TwipsRect kFileList{2640, 1080, 2295, 2820};
inline constexpr TwipsRect kFolderList{120, 1080, 2535, 2790};
inline constexpr TwipsRect kPath{120, 3960, 4815, 765};
inline constexpr TwipsRect kRepair{2595, 4800, 2295, 375};
inline constexpr TwipsRect kHeading{5100, 75, 3180, 300};
inline constexpr TwipsRect kLogo{120, 0, 930, 1050};
inline constexpr TwipsRect kPanel{5040, -15, 3360, 5610};

inline constexpr char kCaption[] = "Vondrel";
inline constexpr char kFindCaption[] = "Find";
inline constexpr char kRepairCaption[] = "Vondrel";
inline constexpr char kHeadingCaption[] = "Vondrel Instructions";

// The heading's font; the nearest bold sans-serif of the same size stands in
// where this family is not installed.
inline constexpr char kHeadingFontFamily[] = "MS Sans Serif";
inline constexpr double kHeadingFontPoints = 9.75;

// Six lines joined by CR LF, the second one empty, no CR LF after the last.
inline constexpr char16_t kInstructionsText[] =
    u"This utility attempts to compact and repair a damaged database.\r\n"
    u"\r\n"
    u"1. Select the name of the program; Tamberlo, Guvrine, or Other.\r\n"
    u"2. If you installed the program in the default location, press the Find button to locate the file. "
    u"If you installed the program to a different location, navigate to the directory and then click on the "
    u"database file.\r\n"
    u"3. Press the Vondrel button.\r\n"
    u"A message box will pop up to tell you if the repair was successful.";

}  // namespace vondrel::window::layout
