#include "tests/support.h"
#include "app/mainwindow.h"
#include "game/deal.h"
#include "game/wincheck.h"
#include "view/cardview.h"

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
    WatchPlatformCalls();
    InitApplication(instance);
    CreateMainWindow(instance, showState);
    PumpMessages();
}

void StartGame(unsigned int seed)
{
    NewGame();
    DestroyCardViews();
    DealCardsFromSeed(seed);
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

#include "game/board.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstring>

std::vector<MediaCommand> mediaCommands;
int soundsPlayed;
DWORD lastSoundFlags;
LPCSTR lastSoundName;
HMODULE lastSoundModule;
bool soundsAudible = true;
std::vector<std::string> shellOpened;

namespace {

using MciSend = MCIERROR(WINAPI*)(LPCSTR, LPSTR, UINT, HWND);
using PlaySoundFn = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
MciSend realMciSend;
PlaySoundFn realPlaySound;
ShellExecuteFn realShellExecute;

MCIERROR WINAPI RecordMciSend(LPCSTR command, LPSTR buffer, UINT length, HWND callback)
{
    mediaCommands.push_back({ command, callback });
    return realMciSend(command, buffer, length, callback);
}

BOOL WINAPI RecordPlaySound(LPCSTR name, HMODULE module, DWORD flags)
{
    soundsPlayed++;
    lastSoundName = name;
    lastSoundModule = module;
    lastSoundFlags = flags;
    return soundsAudible ? realPlaySound(name, module, flags) : TRUE;
}

HINSTANCE WINAPI RecordShellExecute(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show)
{
    shellOpened.push_back(std::string(verb ? verb : "(null)") + " " + (file ? file : "(null)") +
                          (parameters ? " params" : "") + (directory ? " dir" : "") +
                          " show " + std::to_string(show) + (window == mainWindow ? " main" : ""));
    return realShellExecute(window, verb, file, parameters, directory, show);
}

// Points the test program's import of dll!name at replacement; returns the
// address it held.
void* PatchImport(const char* dll, const char* name, void* replacement)
{
    BYTE* base = (BYTE*)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress); d->Name; d++) {
        if (_stricmp((char*)(base + d->Name), dll) != 0)
            continue;
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* byName = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (std::strcmp((char*)byName->Name, name) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* original = (void*)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return original;
        }
    }
    return nullptr;
}

} // namespace

void WatchPlatformCalls()
{
    if (realMciSend == nullptr) {
        realMciSend = (MciSend)PatchImport("winmm.dll", "mciSendStringA", (void*)RecordMciSend);
        realPlaySound = (PlaySoundFn)PatchImport("winmm.dll", "PlaySoundA", (void*)RecordPlaySound);
        realShellExecute = (ShellExecuteFn)PatchImport("shell32.dll", "ShellExecuteA", (void*)RecordShellExecute);
        ASSERT_NE(realMciSend, nullptr);
        ASSERT_NE(realPlaySound, nullptr);
        ASSERT_NE(realShellExecute, nullptr);
    }
    mediaCommands.clear();
    soundsPlayed = 0;
    shellOpened.clear();
}

std::vector<std::string> MediaTexts()
{
    std::vector<std::string> texts;
    for (const MediaCommand& c : mediaCommands)
        texts.push_back(c.text);
    return texts;
}

LRESULT LeftClick(int x, int y)
{
    return SendMessageA(mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

LRESULT RightClick(int x, int y)
{
    return SendMessageA(mainWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
}

LRESULT Command(int id)
{
    return SendMessageA(mainWindow, WM_COMMAND, id, 0);
}

UINT MenuState(UINT id)
{
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    GetMenuItemInfoA(mainMenu, id, FALSE, &info);
    return info.fState;
}

POINT CellPoint(int column, int row)
{
    return { (column - 1) * 63 + 31, (row - 1) * 102 + 50 };
}

POINT FreeCellPoint(int cell)
{
    return { 720, (cell - 1) * 101 + 50 };
}

void LayOut(const int rows[4][10], const int free[4])
{
    freeUsed = 1;
    for (int r = 1; r <= 4; r++) {
        for (int c = 1; c <= 10; c++) {
            board[c][r] = rows[r - 1][c - 1];
            if (board[c][r] != CELL_EMPTY)
                MoveCardView(board[c][r], (c - 1) * 63, (r - 1) * 102);
        }
    }
    for (int i = 1; i <= 4; i++) {
        freeCells[i] = free[i - 1];
        if (freeCells[i] != 0) {
            MoveCardView(freeCells[i], 693, (i - 1) * 101 + 1);
            freeUsed++;
        }
    }
}

POINT ViewPosition(int card)
{
    return ChildPosition(cardWindows[card]);
}

void ExpectConsistentTable()
{
    int places[41] = {};
    int holes = 0;
    for (int c = 0; c <= 10; c++)
        for (int r = 0; r <= 4; r++) {
            int v = board[c][r];
            if (c == 0 || r == 0) {
                ASSERT_EQ(v, 0) << "sentinel " << c << "," << r;
                continue;
            }
            if (v == CELL_EMPTY) {
                holes++;
                continue;
            }
            ASSERT_TRUE(v >= 1 && v <= 40) << "cell " << c << "," << r << " holds " << v;
            places[v]++;
            POINT at = ViewPosition(v);
            ASSERT_EQ(at.x, (c - 1) * 63) << "view of card " << v;
            ASSERT_EQ(at.y, (r - 1) * 102) << "view of card " << v;
        }
    int parked = 0;
    for (int i = 1; i <= 4; i++) {
        int v = freeCells[i];
        if (v == 0)
            continue;
        ASSERT_TRUE(v >= 1 && v <= 40) << "free cell " << i << " holds " << v;
        ASSERT_LT(i, freeLimit) << "card in a free cell that is not enabled";
        parked++;
        places[v]++;
        POINT at = ViewPosition(v);
        ASSERT_EQ(at.x, 693) << "view of card " << v;
        ASSERT_EQ(at.y, (i - 1) * 101 + 1) << "view of card " << v;
    }
    ASSERT_EQ(freeCells[0], 0);
    for (int n = 1; n <= 40; n++)
        ASSERT_EQ(places[n], 1) << "card " << n;
    ASSERT_EQ(holes, parked);
    ASSERT_EQ(freeUsed, parked + 1);
    ASSERT_TRUE(freeLimit >= 2 && freeLimit <= 5) << freeLimit;
    ASSERT_LE(freeUsed, freeLimit);
}

namespace {
int boxButton;
BoxSeen boxSeen;

void CALLBACK AnswerWhenShown(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr)
        if (GetWindow(box, GW_OWNER) == mainWindow && IsWindowVisible(box))
            break;
    if (box == nullptr)
        return;
    KillTimer(nullptr, timer);
    boxSeen.shown = true;
    boxSeen.caption = WindowText(box);
    boxSeen.text = WindowText(GetDlgItem(box, 0xFFFF));
    boxSeen.ownerDisabled = !IsWindowEnabled(mainWindow);
    PostMessageA(box, WM_COMMAND, boxButton, 0);
}
} // namespace

BoxSeen AnswerBox(int button, void (*action)())
{
    boxButton = button;
    boxSeen = BoxSeen();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, AnswerWhenShown);
    action();
    KillTimer(nullptr, timer);
    return boxSeen;
}
