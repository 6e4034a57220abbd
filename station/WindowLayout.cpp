#include "WindowLayout.h"

namespace {

constexpr Colour formYellow = Colour::rgb(255, 255, 192);
constexpr Colour paleCyan = Colour::rgb(192, 255, 255);
constexpr Colour black = Colour::rgb(0, 0, 0);
constexpr Colour buttonFace = Colour::system(Colour::Kind::systemButtonFace);
constexpr Colour buttonText = Colour::system(Colour::Kind::systemButtonText);
constexpr Colour window = Colour::system(Colour::Kind::systemWindow);
constexpr Colour windowText = Colour::system(Colour::Kind::systemWindowText);
constexpr Colour inactiveTitleBar = Colour::system(Colour::Kind::systemInactiveTitleBar);

}  // namespace

// The button keeps the toolkit's own look (button text on the button face),
// and so does the frame; the text box txtReceive is drawn above the frame
// that surrounds it.
const WindowLayout frmmain = {
    "frmmain",
    "Program Update Firmware Rev.00",
    9510,
    4590,
    buttonText,
    formYellow,
    {
        {"Picture1", 120, 0, 975, 855, "", 0, false, buttonText, formYellow},
        {"Label3", 5760, 240, 1335, 495, "Com. Port :", 975, true, buttonText, formYellow},
        {"Label4", 7080, 240, 735, 375, "", 975, true, black, formYellow},
        {"Command1", 8040, 120, 1095, 615, "EXIT", 1425, false, buttonText, buttonFace},
        {"Frame1", 480, 960, 8655, 1935, "", 0, false, windowText, buttonFace},
        {"txtReceive", 720, 1200, 8175, 1485, "", 1125, false, windowText, inactiveTitleBar},
        {"Label1", 480, 3240, 3525, 420, "Please Insert Main Board", 1425, false, buttonText, formYellow},
        {"Label2", 4320, 3120, 660, 705, "", 2925, false, windowText, window},
        {"Text2", 5640, 3240, 3495, 525, "", 1425, true, Colour::systemDesktop(), paleCyan},
        {"Time1", 7200, 4200, 2295, 375, " ", 0, false, buttonText, formYellow},
    },
    {Slot::txtReceive, Slot::Text2, Slot::Command1, Slot::Picture1},
};

Slot slotOf(Control control)
{
    switch (control) {
    case Control::Label1:
        return Slot::Label1;
    case Control::Label2:
        return Slot::Label2;
    case Control::Label4:
        return Slot::Label4;
    case Control::Text2:
        return Slot::Text2;
    case Control::Time1:
        return Slot::Time1;
    case Control::txtReceive:
        return Slot::txtReceive;
    }
    return Slot::txtReceive;
}

bool takesFocus(Slot slot)
{
    for (Slot focusable : frmmain.focusOrder)
        if (focusable == slot)
            return true;
    return false;
}
