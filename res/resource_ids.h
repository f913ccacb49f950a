#pragma once
// Resource ids shared by ovix.rc and the program; plain macros, as the resource compiler
// understands nothing else.

// The lowest icon id: the one Explorer and the taskbar show for the program file.
#define OVIX_ICON_ID 1
