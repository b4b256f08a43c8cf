// Numbers of the program's Windows resources, shared by vondrel.rc and the
// code that loads them (plain defines: the resource compiler reads this too).
#pragma once

#define VONDREL_ICON_ID 1
#define VONDREL_LOGO_ID 2
