/* Test equipment, never part of the game: prints the visible top-level windows
 * titled TITLE and their children as the window system holds them, read from
 * another process as a screen reader would. One line per window, tab-separated:
 *   window|child  CLASS  ID  STYLE(hex)  LEFT,TOP,RIGHT,BOTTOM(screen)  TEXT
 * with \ tab CR LF escaped as \\ \t \r \n. Exit code 0 when a window was found. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static const wchar_t* wanted;
static int found;

static void Print(const char* kind, HWND window)
{
    wchar_t name[256] = L"", text[1024] = L"";
    char utf8[4096];
    RECT r = { 0, 0, 0, 0 };
    GetClassNameW(window, name, 256);
    GetWindowTextW(window, text, 1024);
    GetWindowRect(window, &r);
    WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, NULL, NULL);
    printf("%s\t%s\t%d\t%lx\t%ld,%ld,%ld,%ld\t", kind, utf8, GetDlgCtrlID(window),
           (unsigned long)GetWindowLongW(window, GWL_STYLE), r.left, r.top, r.right, r.bottom);
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    for (const char* p = utf8; *p; p++)
        if (*p == '\\') fputs("\\\\", stdout);
        else if (*p == '\t') fputs("\\t", stdout);
        else if (*p == '\r') fputs("\\r", stdout);
        else if (*p == '\n') fputs("\\n", stdout);
        else putchar(*p);
    putchar('\n');
}

static BOOL CALLBACK Child(HWND child, LPARAM parent)
{
    if (GetParent(child) == (HWND)parent)
        Print("child", child);
    return TRUE;
}

static BOOL CALLBACK TopLevel(HWND window, LPARAM unused)
{
    wchar_t text[1024] = L"";
    (void)unused;
    GetWindowTextW(window, text, 1024);
    if (IsWindowVisible(window) && wcscmp(text, wanted) == 0) {
        found++;
        Print("window", window);
        EnumChildWindows(window, Child, (LPARAM)window);
    }
    return TRUE;
}

int main(void)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == NULL || count != 2)
        return 2;
    wanted = args[1];
    EnumWindows(TopLevel, 0);
    fflush(stdout);
    return found > 0 ? 0 : 1;
}
