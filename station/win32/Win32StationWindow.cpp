#include "Win32StationWindow.h"

#include "Win32Resources.h"
#include "Win32Scaling.h"

namespace {

constexpr const char* windowClass = "FlashstationFrmmain";
constexpr const char* pictureClass = "FlashstationPicture";
constexpr const char* frameClass = "FlashstationFrame";
constexpr const char* title = "Program Update Firmware Rev.00";
constexpr int clientWidthTwips = 9510;
constexpr int clientHeightTwips = 4590;
constexpr COLORREF formColour = RGB(255, 255, 192);
constexpr COLORREF text2Background = RGB(192, 255, 255);
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int firstControlId = 100;
constexpr DWORD label = SS_LEFT | SS_NOPREFIX;

// Where each control goes, in twips, and what it is; in the order of the
// window's slots.
struct Layout {
    const char* className;
    DWORD style;
    DWORD exStyle;
    const char* text;
    int left, top, width, height;
};

const Layout layout[] = {
    {pictureClass, WS_TABSTOP, 0, "", 120, 0, 975, 855},
    {"STATIC", label, 0, "Com. Port :", 5760, 240, 1335, 495},
    {"STATIC", label, 0, "", 7080, 240, 735, 375},
    {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, "EXIT", 8040, 120, 1095, 615},
    // Clipped by its siblings, so the text box inside it stays on top.
    {frameClass, WS_CLIPSIBLINGS, 0, "", 480, 960, 8655, 1935},
    {"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, "", 720, 1200,
     8175, 1485},
    {"STATIC", label, 0, "Please Insert Main Board", 480, 3240, 3525, 420},
    // One line, centred from top to bottom: the count of the large font.
    {"STATIC", label | SS_CENTERIMAGE, 0, "", 4320, 3120, 660, 705},
    {"EDIT", ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE, "", 5640, 3240, 3495, 525},
    {"STATIC", label, 0, " ", 7200, 4200, 2295, 375},
};

// A colour of the table: a system colour's index, or a fixed colour.
struct Paint {
    int systemIndex;  // -1: use rgb
    COLORREF rgb;
    COLORREF resolve() const { return systemIndex >= 0 ? GetSysColor(systemIndex) : rgb; }
};
constexpr Paint fixed(COLORREF rgb) { return {-1, rgb}; }
constexpr Paint system(int index) { return {index, 0}; }

struct ControlPaint {
    Paint text;
    Paint background;
};

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
    formBrush = CreateSolidBrush(formColour);
    text2Brush = CreateSolidBrush(text2Background);
    picture = static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(IDB_BOARD), IMAGE_BITMAP, 0, 0, 0));
    bigIcon = loadIcon(instance, SM_CXICON, SM_CYICON);
    smallIcon = loadIcon(instance, SM_CXSMICON, SM_CYSMICON);
    if (!registerClass(instance, windowClass, windowProc, formBrush, bigIcon, smallIcon) ||
        !registerClass(instance, pictureClass, pictureProc, nullptr, nullptr, nullptr) ||
        !registerClass(instance, frameClass, frameProc, nullptr, nullptr, nullptr))
        return;

    const int dpi = screenDpi();
    RECT outer = {0, 0, twipsToPixels(clientWidthTwips, dpi), twipsToPixels(clientHeightTwips, dpi)};
    AdjustWindowRectEx(&outer, windowStyle, FALSE, 0);
    window = CreateWindowExA(0, windowClass, title, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                             outer.bottom - outer.top, nullptr, nullptr, instance, this);
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
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(formBrush), static_cast<HGDIOBJ>(text2Brush),
                           static_cast<HGDIOBJ>(picture)})
        if (object != nullptr)
            DeleteObject(object);
    for (HICON icon : {bigIcon, smallIcon})
        if (icon != nullptr)
            DestroyIcon(icon);
}

bool Win32StationWindow::createControls(int dpi)
{
    for (int slot = 0; slot < slotCount; ++slot) {
        const Layout& l = layout[slot];
        controls[static_cast<size_t>(slot)] =
            CreateWindowExA(l.exStyle, l.className, l.text, WS_CHILD | WS_VISIBLE | l.style,
                            twipsToPixels(l.left, dpi), twipsToPixels(l.top, dpi), twipsToPixels(l.width, dpi),
                            twipsToPixels(l.height, dpi), window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(firstControlId + slot)), instance, nullptr);
        if (controls[static_cast<size_t>(slot)] == nullptr)
            return false;
    }
    SetWindowPos(controls[txtReceive], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // The board may print far more than an edit control's default limit.
    SendMessageA(controls[txtReceive], EM_SETLIMITTEXT, 0, 0);

    fonts[0] = tahoma(975, true, dpi);
    fonts[1] = tahoma(1125, false, dpi);
    fonts[2] = tahoma(1425, false, dpi);
    fonts[3] = tahoma(2925, false, dpi);
    text2Font = tahoma(1425, true, dpi);
    const struct {
        Slot slot;
        HFONT font;
    } fontOf[] = {{Label3, fonts[0]},     {Label4, fonts[0]}, {Command1, fonts[2]}, {txtReceive, fonts[1]},
                  {Label1, fonts[2]},     {Label2, fonts[3]}, {Text2, text2Font},
                  {Time1, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))}};
    for (const auto& f : fontOf)
        SendMessageA(controls[f.slot], WM_SETFONT, reinterpret_cast<WPARAM>(f.font), FALSE);
    return true;
}

HWND Win32StationWindow::control(Control which) const
{
    switch (which) {
    case Control::Label1:
        return controls[Label1];
    case Control::Label2:
        return controls[Label2];
    case Control::Label4:
        return controls[Label4];
    case Control::Text2:
        return controls[Text2];
    case Control::Time1:
        return controls[Time1];
    case Control::txtReceive:
        return controls[txtReceive];
    }
    return nullptr;
}

void Win32StationWindow::show()
{
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(controls[txtReceive]);
}

void Win32StationWindow::setTextColour(Control which, Colour colour)
{
    const Slot slot = slotOf(control(which));
    if (slot == slotCount)
        return;
    textColours[slot] = {true, colour};
    InvalidateRect(controls[slot], nullptr, TRUE);
}

Win32StationWindow::Slot Win32StationWindow::slotOf(HWND child) const
{
    for (int slot = 0; slot < slotCount; ++slot)
        if (child != nullptr && controls[static_cast<size_t>(slot)] == child)
            return static_cast<Slot>(slot);
    return slotCount;
}

HBRUSH Win32StationWindow::paintControl(HDC dc, HWND child)
{
    static const ControlPaint yellowLabel = {system(COLOR_BTNTEXT), fixed(formColour)};
    ControlPaint paint;
    HBRUSH brush;
    switch (slotOf(child)) {
    case Label3:
    case Label1:
    case Time1:
        paint = yellowLabel;
        brush = formBrush;
        break;
    case Label4:
        paint = {fixed(RGB(0, 0, 0)), fixed(formColour)};
        brush = formBrush;
        break;
    case Label2:
        paint = {system(COLOR_WINDOWTEXT), system(COLOR_WINDOW)};
        brush = GetSysColorBrush(COLOR_WINDOW);
        break;
    case txtReceive:
        paint = {system(COLOR_WINDOWTEXT), system(COLOR_INACTIVECAPTION)};
        brush = GetSysColorBrush(COLOR_INACTIVECAPTION);
        break;
    case Text2:
        paint = {system(COLOR_DESKTOP), fixed(text2Background)};
        brush = text2Brush;
        break;
    default:
        return nullptr;
    }
    COLORREF text = paint.text.resolve();
    const TextColour& chosen = textColours[slotOf(child)];
    if (chosen.set)
        text = chosen.colour.kind == Colour::Kind::systemDesktop
                   ? GetSysColor(COLOR_DESKTOP)
                   : RGB(chosen.colour.red, chosen.colour.green, chosen.colour.blue);
    SetTextColor(dc, text);
    SetBkColor(dc, paint.background.resolve());
    return brush;
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
    if (message.wParam == VK_RETURN && message.hwnd == controls[Command1]) {
        SendMessageA(controls[Command1], BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

void Win32StationWindow::moveFocus(bool backwards)
{
    const Slot order[] = {txtReceive, Text2, Command1, Picture1};
    constexpr int count = sizeof order / sizeof order[0];
    const HWND focused = GetFocus();
    int next = 0;
    for (int i = 0; i < count; ++i)
        if (controls[order[i]] == focused)
            next = (i + (backwards ? count - 1 : 1)) % count;
    SetFocus(controls[order[next]]);
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
        if (LOWORD(wParam) == firstControlId + Command1 && HIWORD(wParam) == BN_CLICKED && events.exit)
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
            focusBeforeDeactivation = slotOf(focused) != slotCount ? focused : nullptr;
        } else {
            SetFocus(focusBeforeDeactivation != nullptr ? focusBeforeDeactivation : controls[txtReceive]);
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

LRESULT CALLBACK Win32StationWindow::pictureProc(HWND picture_, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32StationWindow* self = ownerOf(GetParent(picture_));
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(picture_, &paint);
        RECT area;
        GetClientRect(picture_, &area);
        if (self != nullptr) {
            FillRect(dc, &area, self->formBrush);
            BITMAP size{};
            HDC source = CreateCompatibleDC(dc);
            if (source != nullptr && self->picture != nullptr &&
                GetObjectA(self->picture, sizeof size, &size) == sizeof size) {
                HGDIOBJ previous = SelectObject(source, self->picture);
                BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
                SelectObject(source, previous);
            }
            if (source != nullptr)
                DeleteDC(source);
        }
        EndPaint(picture_, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        // A picture box takes the focus when it is clicked.
        SetFocus(picture_);
        return 0;
    default:
        return DefWindowProcA(picture_, message, wParam, lParam);
    }
}

LRESULT CALLBACK Win32StationWindow::frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(frame, &paint);
        RECT area;
        GetClientRect(frame, &area);
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &area, EDGE_ETCHED, BF_RECT);
        EndPaint(frame, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(frame, message, wParam, lParam);
    }
}
