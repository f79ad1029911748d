/* Test equipment for the end-to-end checks, never part of the game: prints the
 * texts of the visible top-level windows with a given title and of their child
 * windows, as the window system holds them. Run under Wine in the same prefix
 * and session as the game; the texts of another process's windows are read
 * from outside, as a screen reader would.
 *
 * Usage: window_texts TITLE
 * Output, UTF-8, one line per window, fields separated by tabs, with
 * backslash, tab, carriage return and line feed written as \\ \t \r \n:
 *   window  HANDLE  CLASS  LEFT,TOP,RIGHT,BOTTOM  TEXT
 *   child   HANDLE  CLASS  ID  LEFT,TOP,RIGHT,BOTTOM  TEXT
 * with the window's rectangle in screen coordinates.
 * Exit code 0 when at least one window was found, 1 otherwise. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static const wchar_t* wantedTitle;
static int found;

static void PrintEscaped(const wchar_t* text)
{
    char utf8[4 * 1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    if (length <= 0)
        return;
    for (const char* p = utf8; *p; p++) {
        switch (*p) {
        case '\\': fputs("\\\\", stdout); break;
        case '\t': fputs("\\t", stdout); break;
        case '\r': fputs("\\r", stdout); break;
        case '\n': fputs("\\n", stdout); break;
        default: putchar(*p);
        }
    }
}

static void PrintOne(const char* kind, HWND window, int withId)
{
    wchar_t className[256] = L"";
    wchar_t text[1024] = L"";
    RECT place = { 0, 0, 0, 0 };
    GetClassNameW(window, className, 256);
    GetWindowTextW(window, text, 1024);
    GetWindowRect(window, &place);
    printf("%s\t%p\t", kind, (void*)window);
    PrintEscaped(className);
    if (withId)
        printf("\t%d", GetDlgCtrlID(window));
    printf("\t%ld,%ld,%ld,%ld\t", place.left, place.top, place.right, place.bottom);
    PrintEscaped(text);
    putchar('\n');
}

static BOOL CALLBACK EachChild(HWND child, LPARAM parent)
{
    if (GetParent(child) == (HWND)parent)
        PrintOne("child", child, 1);
    return TRUE;
}

static BOOL CALLBACK EachTopLevel(HWND window, LPARAM unused)
{
    wchar_t text[1024] = L"";
    (void)unused;
    if (!IsWindowVisible(window))
        return TRUE;
    GetWindowTextW(window, text, 1024);
    if (wcscmp(text, wantedTitle) != 0)
        return TRUE;
    found++;
    PrintOne("window", window, 0);
    EnumChildWindows(window, EachChild, (LPARAM)window);
    return TRUE;
}

int main(void)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == NULL || count != 2) {
        fputs("usage: window_texts TITLE\n", stderr);
        return 2;
    }
    wantedTitle = arguments[1];
    EnumWindows(EachTopLevel, 0);
    fflush(stdout);
    return found > 0 ? 0 : 1;
}
