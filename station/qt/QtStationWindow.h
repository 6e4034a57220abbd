// The station's one window, frmmain: every control at its place, size,
// font and colour, with its initial text. Positions come in twips (15 twips
// are one pixel at 96 dots per inch) and fonts in points at 96 dots per
// inch, so the window looks the same whatever the screen's resolution.
// The window only shows things; QtStationPlatform writes to it and
// QtStationProgram routes its button to the logic.
#pragma once
#include <QColor>
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class QtStationWindow : public QWidget {
public:
    static constexpr int twipsPerPixel = 15;
    static QColor formColour() { return {255, 255, 192}; }
    static QColor text2Background() { return {192, 255, 255}; }
    // X11 desktops have no such roles; these are the Windows defaults the
    // bench was laid out with (desktop blue, inactive title bar).
    static QColor systemDesktopColour() { return {58, 110, 165}; }
    static QColor inactiveTitleBarColour() { return {191, 205, 219}; }

    QtStationWindow();

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
};

// The control's rectangle in pixels from its rectangle in twips.
QRect twipsToPixels(int left, int top, int width, int height);
