// window_peek.exe: what a Windows program's window shows, for the Wine
// tests, which cannot look inside Wine's windows from the X side.
//
//   window_peek TITLE           the window TITLE (exactly), its client size
//                               and every child control, one a line:
//                               "control <id> <class> <x>,<y> <w>x<h> [focus] |<text>|"
//   window_peek TITLE --click ID  clicks the button with that control id
//   window_peek --boxes         every visible top-level window's title, its
//                               static texts and whether it shows an icon
//                               (the message boxes)
//   window_peek --layout        the station's layout table, which its window
//                               is built from: a line a control, in the
//                               order of their ids, "layout <name> <left>
//                               <top> <width> <height>" in twips
// Exits 1 when no such window is found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WindowLayout.h"

namespace {

void printText(HWND window)
{
    char text[4096];
    // WM_GETTEXT, not GetWindowText: only the message reaches the text of
    // another process's controls.
    const LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    std::printf("|%.*s|\n", static_cast<int>(n), text);
}

struct Peek {
    HWND parent;
    HWND focus;
};

BOOL CALLBACK printControl(HWND child, LPARAM context)
{
    const Peek* peek = reinterpret_cast<const Peek*>(context);
    if (GetParent(child) != peek->parent)
        return TRUE;
    char className[64];
    GetClassNameA(child, className, sizeof className);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, peek->parent, reinterpret_cast<POINT*>(&r), 2);
    std::printf("control %d %s %ld,%ld %ldx%ld%s ", GetDlgCtrlID(child), className, r.left, r.top,
                r.right - r.left, r.bottom - r.top, child == peek->focus ? " focus" : "");
    printText(child);
    return TRUE;
}

BOOL CALLBACK printBox(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    char title[256];
    GetWindowTextA(window, title, sizeof title);
    std::printf("window |%s|\n", title);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64];
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0)
            continue;
        const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            const bool shown = IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0) != 0;
            std::printf("  icon %s\n", shown ? "shown" : "none");
        } else {
            std::printf("  static ");
            printText(child);
        }
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--boxes") == 0) {
        EnumWindows(printBox, 0);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--layout") == 0) {
        for (const ControlLayout& c : frmmain.controls)
            std::printf("layout %s %d %d %d %d\n", c.name, c.left, c.top, c.width, c.height);
        return 0;
    }
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--click") == 0)) {
        std::fprintf(stderr, "usage: window_peek TITLE [--click ID] | --boxes | --layout\n");
        return 2;
    }
    // The window exists before its controls and texts; the program shows
    // it once it has loaded them.
    HWND window = FindWindowA(nullptr, argv[1]);
    if (window == nullptr || !IsWindowVisible(window)) {
        std::printf("no window |%s|\n", argv[1]);
        return 1;
    }
    if (argc == 4) {
        HWND button = GetDlgItem(window, std::atoi(argv[3]));
        if (button == nullptr)
            return 1;
        // Posted, not sent: the program may end while handling it.
        PostMessageA(button, BM_CLICK, 0, 0);
        return 0;
    }
    RECT client;
    GetClientRect(window, &client);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    std::printf("client %ldx%ld\n", client.right, client.bottom);
    Peek peek = {window, thread.hwndFocus};
    EnumChildWindows(window, printControl, reinterpret_cast<LPARAM>(&peek));
    return 0;
}
