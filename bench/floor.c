/* The floor of the benchmark: the least a Win32 program can do to show the
 * same empty window as the game. One class with the game's class style and
 * background brush, one 800 x 500 window with the game's style, centred,
 * shown, and the message loop. No menu, no icon, no child windows.
 *
 * With "music" on its command line it also starts the game's background
 * music as the game does (the same media commands when the window gets its
 * size), so the benchmark can tell what the music costs on this platform.
 * The media library is loaded only then: the plain floor imports no more
 * than the user interface and drawing libraries.
 *
 * Built with FLOOR_WITH_GAME_IMPORTS (bench_floor_imports) it imports the
 * media and shell libraries as the game does, so they load with it.
 *
 * Built with FLOOR_WITH_CARDS (bench_floor_cards, linked with the game's
 * resources) it also shows the 40 cards as the game does, before the window
 * is shown: one STATIC SS_BITMAP child of 62 x 100 per card, its text "#n"
 * naming bitmap n, in the grid of the board. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <string.h>
#ifdef FLOOR_WITH_GAME_IMPORTS
#include <mmsystem.h>
#include <shellapi.h>
void* volatile gameImports[] = { (void*)&PlaySoundA, (void*)&ShellExecuteA };
#endif

typedef DWORD(WINAPI* MciSendStringFunction)(LPCSTR, LPSTR, UINT, HWND);
static MciSendStringFunction sendMediaCommand;

static LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE && wParam == SIZE_RESTORED && sendMediaCommand != NULL) {
        sendMediaCommand("close all", NULL, 0, NULL);
        sendMediaCommand("open sequencer!Orv2000.mid alias music", NULL, 0, NULL);
        sendMediaCommand("play music notify", NULL, 0, window);
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState)
{
    (void)previous;
    if (strstr(commandLine, "music") != NULL) {
        HMODULE media = LoadLibraryA("winmm.dll");
        if (media != NULL)
            sendMediaCommand = (MciSendStringFunction)(void (*)(void))GetProcAddress(media, "mciSendStringA");
    }

    WNDCLASSEXA windowClass = {0};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = FloorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(160, 0, 0));
    windowClass.lpszClassName = "OrvennaBenchFloor";
    if (!RegisterClassExA(&windowClass))
        return 1;

    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Orvenna bench floor", 0x00CA0000,
                                  (desktop.right - desktop.left - 800) / 2,
                                  (desktop.bottom - desktop.top - 500) / 2, 800, 500,
                                  NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
#ifdef FLOOR_WITH_CARDS
    for (int card = 1; card <= 40; card++) {
        char name[8];
        wsprintfA(name, "#%d", card);
        CreateWindowExA(0, "STATIC", name, WS_CHILD | WS_VISIBLE | SS_BITMAP, (card - 1) % 10 * 63,
                        (card - 1) / 10 * 102, 62, 100, window, NULL, instance, NULL);
    }
#endif
    ShowWindow(window, showState);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
