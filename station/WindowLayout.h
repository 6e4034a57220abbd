// The station's one window, frmmain, as data: its size, title and colours,
// every control's place, size, font, colours and initial text, and the
// order in which Tab moves the keyboard focus. Both toolkit layers build
// their window from this one table, and the tests check the windows
// against it.
//
// Places are in twips (1440 to the inch, 15 to a pixel at 96 dots per inch)
// and fonts in points, so that the window looks the same at any screen
// resolution; each layer scales them for its screen. Colours of system
// roles are the desktop's, resolved by each layer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "StationPlatform.h"

// Every control of the window, in the order of the table (on Windows also
// the order of their control ids).
enum class Slot : uint8_t { Picture1, Label3, Label4, Command1, Frame1, txtReceive, Label1, Label2, Text2, Time1 };
constexpr size_t slotCount = 10;

constexpr size_t indexOf(Slot slot) { return static_cast<size_t>(slot); }

struct ControlLayout {
    const char* name;              // also the toolkit's name of the control
    int left, top, width, height;  // twips, in the window's client area
    const char* text;              // shown from the start
    // Tahoma at this many hundredths of a point (9.75 pt is 975); 0: the
    // system's default font.
    int fontHundredthsOfPoint;
    bool bold;
    Colour textColour;
    Colour background;
};

struct WindowLayout {
    const char* name;
    const char* title;
    int clientWidth, clientHeight;  // twips
    Colour textColour;
    Colour background;
    ControlLayout controls[slotCount];  // in the order of Slot
    // The controls that take the focus, in Tab's order; the window opens
    // with the focus on the first. The others never take it.
    Slot focusOrder[4];
};

extern const WindowLayout frmmain;

inline const ControlLayout& layoutOf(Slot slot) { return frmmain.controls[indexOf(slot)]; }

// The slot of a control the logic writes to.
Slot slotOf(Control control);

bool takesFocus(Slot slot);
