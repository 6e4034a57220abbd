// The station's one window, frmmain, over Win32: every control at its place
// (twips scaled to pixels at the screen's dots per inch), with its font,
// colours and initial text, and the keyboard focus order, as the layout
// table has them. The window only shows things and reports events;
// Win32StationPlatform writes to it, and the program connects the events
// to the logic.
#pragma once
#include <windows.h>

#include <array>
#include <functional>

#include "StationPlatform.h"
#include "WindowLayout.h"

class Win32StationWindow {
public:
    static constexpr UINT_PTR timer1Id = 1;
    static constexpr UINT_PTR portPollTimerId = 2;
    static constexpr UINT_PTR jobPollTimerId = 3;

    // Events; each runs on the window's thread.
    struct Events {
        std::function<void()> exit;      // EXIT, or the window closed
        std::function<void()> tick;      // Timer1
        std::function<void()> portPoll;  // the console port's poll timer
        std::function<void()> jobPoll;   // the job's poll timer
    };

    // Creates the window and its controls, hidden; created() tells whether it worked.
    explicit Win32StationWindow(HINSTANCE instance);
    ~Win32StationWindow();
    Win32StationWindow(const Win32StationWindow&) = delete;
    Win32StationWindow& operator=(const Win32StationWindow&) = delete;

    bool created() const { return window != nullptr; }
    bool isVisible() const { return window != nullptr && IsWindowVisible(window); }
    HWND handle() const { return window; }
    HWND control(Control control) const;

    // Shows the window in front, with the focus on txtReceive.
    void show();
    void setTextColour(Control control, Colour colour);

    // Keyboard handling the window does before a message is dispatched
    // (Tab and Shift+Tab through the focus order, Enter on EXIT); true when
    // the message was used up.
    bool preTranslate(const MSG& message);

    Events events;

private:
    struct TextColour {
        bool set = false;
        Colour colour = Colour::systemDesktop();
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK drawnControlProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool createControls(int dpi);
    HBRUSH paintControl(HDC dc, HWND child);
    // The control's place in the table; slotCount for none of them.
    size_t indexOfControl(HWND child) const;
    HBRUSH backgroundBrush(size_t index) const;
    HWND controlIn(Slot slot) const { return controls[indexOf(slot)]; }
    void moveFocus(bool backwards);
    void drawPicture(HDC dc) const;

    HINSTANCE instance;
    HWND window = nullptr;
    std::array<HWND, slotCount> controls{};
    std::array<TextColour, slotCount> textColours{};
    std::array<HFONT, slotCount> fonts{};      // none: the system's default font
    std::array<HBRUSH, slotCount> brushes{};   // for fixed backgrounds only
    HBRUSH formBrush = nullptr;
    HBITMAP picture = nullptr;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HWND focusBeforeDeactivation = nullptr;
};
