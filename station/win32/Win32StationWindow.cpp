#include "Win32StationWindow.h"

#include "Win32Resources.h"
#include "Win32Scaling.h"

namespace {

constexpr const char* windowClass = "FlashstationFrmmain";
constexpr const char* pictureClass = "FlashstationPicture";
constexpr const char* frameClass = "FlashstationFrame";
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int firstControlId = 100;
constexpr DWORD label = SS_LEFT | SS_NOPREFIX;

// What each control of the layout table is on Win32, in the table's order.
// Controls that take the focus get WS_TABSTOP as well.
struct Win32Control {
    const char* className;
    DWORD style;
    DWORD exStyle;
};

const Win32Control win32Controls[slotCount] = {
    {pictureClass, 0, 0},
    {"STATIC", label, 0},
    {"STATIC", label, 0},
    {"BUTTON", BS_PUSHBUTTON, 0},
    // Clipped by its siblings, so the text box inside it stays on top.
    {frameClass, WS_CLIPSIBLINGS, 0},
    {"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL, WS_EX_CLIENTEDGE},
    {"STATIC", label, 0},
    // One line, centred from top to bottom: the count of the large font.
    {"STATIC", label | SS_CENTERIMAGE, 0},
    {"EDIT", ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE},
    {"STATIC", label, 0},
};

// The system colour index of a colour role; -1 for a fixed colour.
int systemIndexOf(Colour::Kind kind)
{
    switch (kind) {
    case Colour::Kind::rgb:
        break;
    case Colour::Kind::systemDesktop:
        return COLOR_DESKTOP;
    case Colour::Kind::systemButtonFace:
        return COLOR_BTNFACE;
    case Colour::Kind::systemButtonText:
        return COLOR_BTNTEXT;
    case Colour::Kind::systemWindow:
        return COLOR_WINDOW;
    case Colour::Kind::systemWindowText:
        return COLOR_WINDOWTEXT;
    case Colour::Kind::systemInactiveTitleBar:
        return COLOR_INACTIVECAPTION;
    }
    return -1;
}

COLORREF colourRef(Colour colour)
{
    const int system = systemIndexOf(colour.kind);
    return system >= 0 ? GetSysColor(system) : RGB(colour.red, colour.green, colour.blue);
}

LONG_PTR toLongPtr(const void* p) { return reinterpret_cast<LONG_PTR>(p); }

// The owning window object, kept in the frmmain window's user data.
Win32StationWindow* ownerOf(HWND window)
{
    return reinterpret_cast<Win32StationWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HFONT tahoma(int hundredthsOfPoint, bool bold, int dpi)
{
    return CreateFontA(fontHeightForCreateFont(hundredthsOfPoint, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "Tahoma");
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

bool registerClass(HINSTANCE instance, const char* name, WNDPROC proc, HBRUSH background, HICON big, HICON small)
{
    WNDCLASSEXA windowClass_{};
    windowClass_.cbSize = sizeof windowClass_;
    windowClass_.lpfnWndProc = proc;
    windowClass_.hInstance = instance;
    windowClass_.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass_.hbrBackground = background;
    windowClass_.hIcon = big;
    windowClass_.hIconSm = small;
    windowClass_.lpszClassName = name;
    return RegisterClassExA(&windowClass_) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HICON loadIcon(HINSTANCE instance, int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_STATION), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

}  // namespace

Win32StationWindow::Win32StationWindow(HINSTANCE instance_) : instance(instance_)
{
    formBrush = CreateSolidBrush(colourRef(frmmain.background));
    for (size_t i = 0; i < slotCount; ++i)
        if (frmmain.controls[i].background.kind == Colour::Kind::rgb)
            brushes[i] = CreateSolidBrush(colourRef(frmmain.controls[i].background));
    picture = static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(IDB_BOARD), IMAGE_BITMAP, 0, 0, 0));
    bigIcon = loadIcon(instance, SM_CXICON, SM_CYICON);
    smallIcon = loadIcon(instance, SM_CXSMICON, SM_CYSMICON);
    if (!registerClass(instance, windowClass, windowProc, formBrush, bigIcon, smallIcon) ||
        !registerClass(instance, pictureClass, drawnControlProc, nullptr, nullptr, nullptr) ||
        !registerClass(instance, frameClass, drawnControlProc, nullptr, nullptr, nullptr))
        return;

    const int dpi = screenDpi();
    RECT outer = {0, 0, twipsToPixels(frmmain.clientWidth, dpi), twipsToPixels(frmmain.clientHeight, dpi)};
    AdjustWindowRectEx(&outer, windowStyle, FALSE, 0);
    window = CreateWindowExA(0, windowClass, frmmain.title, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, this);
    if (window != nullptr && !createControls(dpi)) {
        DestroyWindow(window);
        window = nullptr;
    }
}

Win32StationWindow::~Win32StationWindow()
{
    if (window != nullptr)
        DestroyWindow(window);
    for (HFONT font : fonts)
        if (font != nullptr)
            DeleteObject(font);
    for (HBRUSH brush : brushes)
        if (brush != nullptr)
            DeleteObject(brush);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(formBrush), static_cast<HGDIOBJ>(picture)})
        if (object != nullptr)
            DeleteObject(object);
    for (HICON icon : {bigIcon, smallIcon})
        if (icon != nullptr)
            DestroyIcon(icon);
}

bool Win32StationWindow::createControls(int dpi)
{
    for (size_t i = 0; i < slotCount; ++i) {
        const ControlLayout& l = frmmain.controls[i];
        const Win32Control& kind = win32Controls[i];
        const DWORD tabStop = takesFocus(static_cast<Slot>(i)) ? WS_TABSTOP : 0;
        const INT_PTR id = firstControlId + static_cast<INT_PTR>(i);
        controls[i] = CreateWindowExA(kind.exStyle, kind.className, l.text,
                                      WS_CHILD | WS_VISIBLE | kind.style | tabStop, twipsToPixels(l.left, dpi),
                                      twipsToPixels(l.top, dpi), twipsToPixels(l.width, dpi),
                                      twipsToPixels(l.height, dpi), window, reinterpret_cast<HMENU>(id), instance,
                                      nullptr);
        if (controls[i] == nullptr)
            return false;
        if (l.fontHundredthsOfPoint > 0)
            fonts[i] = tahoma(l.fontHundredthsOfPoint, l.bold, dpi);
        const HGDIOBJ font = fonts[i] != nullptr ? fonts[i] : GetStockObject(DEFAULT_GUI_FONT);
        SendMessageA(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    SetWindowPos(controlIn(Slot::txtReceive), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // The board may print far more than an edit control's default limit.
    SendMessageA(controlIn(Slot::txtReceive), EM_SETLIMITTEXT, 0, 0);
    return true;
}

HWND Win32StationWindow::control(Control which) const { return controlIn(slotOf(which)); }

void Win32StationWindow::show()
{
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(controlIn(frmmain.focusOrder[0]));
}

void Win32StationWindow::setTextColour(Control which, Colour colour)
{
    const size_t index = indexOf(slotOf(which));
    textColours[index] = {true, colour};
    InvalidateRect(controls[index], nullptr, TRUE);
}

size_t Win32StationWindow::indexOfControl(HWND child) const
{
    for (size_t i = 0; i < slotCount; ++i)
        if (child != nullptr && controls[i] == child)
            return i;
    return slotCount;
}

HBRUSH Win32StationWindow::backgroundBrush(size_t index) const
{
    return brushes[index] != nullptr ? brushes[index]
                                     : GetSysColorBrush(systemIndexOf(frmmain.controls[index].background.kind));
}

HBRUSH Win32StationWindow::paintControl(HDC dc, HWND child)
{
    const size_t index = indexOfControl(child);
    if (index == slotCount)
        return nullptr;
    const ControlLayout& l = frmmain.controls[index];
    const TextColour& chosen = textColours[index];
    SetTextColor(dc, colourRef(chosen.set ? chosen.colour : l.textColour));
    SetBkColor(dc, colourRef(l.background));
    return backgroundBrush(index);
}

bool Win32StationWindow::preTranslate(const MSG& message)
{
    if (message.message != WM_KEYDOWN || window == nullptr ||
        (message.hwnd != window && !IsChild(window, message.hwnd)))
        return false;
    if (message.wParam == VK_TAB) {
        moveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    if (message.wParam == VK_RETURN && message.hwnd == controlIn(Slot::Command1)) {
        SendMessageA(controlIn(Slot::Command1), BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

void Win32StationWindow::moveFocus(bool backwards)
{
    const Slot* order = frmmain.focusOrder;
    constexpr size_t count = sizeof frmmain.focusOrder / sizeof frmmain.focusOrder[0];
    const HWND focused = GetFocus();
    size_t next = 0;
    for (size_t i = 0; i < count; ++i)
        if (controlIn(order[i]) == focused)
            next = (i + (backwards ? count - 1 : 1)) % count;
    SetFocus(controlIn(order[next]));
}

LRESULT CALLBACK Win32StationWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32StationWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, toLongPtr(self));
        self->window = window;
    }
    Win32StationWindow* self = ownerOf(window);
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->handleMessage(message, wParam, lParam);
}

LRESULT Win32StationWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        HBRUSH brush = paintControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        if (brush != nullptr)
            return reinterpret_cast<LRESULT>(brush);
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == firstControlId + static_cast<int>(indexOf(Slot::Command1)) &&
            HIWORD(wParam) == BN_CLICKED && events.exit)
            events.exit();
        return 0;
    case WM_TIMER:
        if (wParam == timer1Id && events.tick)
            events.tick();
        else if (wParam == portPollTimerId && events.portPoll)
            events.portPoll();
        else if (wParam == jobPollTimerId && events.jobPoll)
            events.jobPoll();
        return 0;
    case WM_CLOSE:
        if (events.exit)
            events.exit();
        else
            DestroyWindow(window);
        return 0;
    case WM_ACTIVATE:
        // As a dialog does: the focus comes back to where it was, say after
        // the result box.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focused = GetFocus();
            focusBeforeDeactivation = indexOfControl(focused) != slotCount ? focused : nullptr;
        } else {
            SetFocus(focusBeforeDeactivation != nullptr ? focusBeforeDeactivation : controlIn(frmmain.focusOrder[0]));
        }
        return 0;
    case WM_DESTROY:
        window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Picture1 and Frame1, for which Win32 has no control of its own: the
// table's background, then the board's picture or a frame's etched edge.
LRESULT CALLBACK Win32StationWindow::drawnControlProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32StationWindow* self = ownerOf(GetParent(child));
    const size_t index = self != nullptr ? self->indexOfControl(child) : slotCount;
    if (index == slotCount)
        return DefWindowProcA(child, message, wParam, lParam);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(child, &paint);
        RECT area;
        GetClientRect(child, &area);
        FillRect(dc, &area, self->backgroundBrush(index));
        if (index == indexOf(Slot::Picture1))
            self->drawPicture(dc);
        else
            DrawEdge(dc, &area, EDGE_ETCHED, BF_RECT);
        EndPaint(child, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        // A picture box takes the focus when it is clicked.
        if (takesFocus(static_cast<Slot>(index))) {
            SetFocus(child);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(child, message, wParam, lParam);
}

void Win32StationWindow::drawPicture(HDC dc) const
{
    BITMAP size{};
    HDC source = CreateCompatibleDC(dc);
    if (source != nullptr && picture != nullptr && GetObjectA(picture, sizeof size, &size) == sizeof size) {
        HGDIOBJ previous = SelectObject(source, picture);
        BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
    }
    if (source != nullptr)
        DeleteDC(source);
}
