#include "tests/support.h"
#include "app/mainwindow.h"

void CloseMainWindow()
{
    if (IsWindow(mainWindow)) {
        DestroyWindow(mainWindow);
        PumpMessages();  // takes the quit message the destruction posted
    }
    UnregisterClassA(className, GetModuleHandleA(nullptr));
}

void OpenMainWindow(int showState)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    CloseMainWindow();
    InitApplication(instance);
    CreateMainWindow(instance, showState);
    PumpMessages();
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

POINT ChildPosition(HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    POINT p = { r.left, r.top };
    ScreenToClient(GetParent(child), &p);
    return p;
}

SIZE WindowSize(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return { r.right - r.left, r.bottom - r.top };
}

static BOOL CALLBACK CountOne(HWND, LPARAM counter)
{
    ++*(int*)counter;
    return TRUE;
}

int CountChildWindows(HWND parent)
{
    int count = 0;
    EnumChildWindows(parent, CountOne, (LPARAM)&count);
    return count;
}
