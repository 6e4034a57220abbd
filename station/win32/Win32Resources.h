// Resource numbers shared by station.rc and the Win32 window.
#pragma once
#define IDI_STATION 1
#define IDB_BOARD 2
