// The station's one window, frmmain, over Qt: every control at its place,
// size, font and colour, with its initial text, as the layout table has
// them (twips at 15 to a pixel, points at 96 dots per inch, so the window
// looks the same whatever the screen's resolution). The window only shows
// things; QtStationPlatform writes to it and QtStationProgram routes its
// button to the logic.
#pragma once
#include <QColor>
#include <QWidget>

#include "WindowLayout.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class QtStationWindow : public QWidget {
public:
    static constexpr int twipsPerPixel = 15;
    // The colour of the table on this desktop. X11 desktops have no roles
    // for the desktop and the inactive title bar; those are the Windows
    // defaults the bench was laid out with.
    static QColor colourOf(Colour colour);

    QtStationWindow();

    QWidget* control(Slot slot) const { return controls[indexOf(slot)]; }
    void setTextColour(Slot slot, Colour colour);

    QLabel* Picture1;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* Command1;
    QFrame* Frame1;
    QPlainTextEdit* txtReceive;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Text2;
    QLabel* Time1;

private:
    void placeControls();
    void paintControls();
    void setFonts();
    void setFocusOrder();

    QWidget* controls[slotCount];
};
