#include "tests/support.h"
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "ui/music.h"
#include "view/cardview.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cstring>

std::vector<std::string> mciTexts, shellCalls;
std::vector<HWND> mciWindows;
int soundsPlayed;
LPCSTR soundName;
HMODULE soundModule;
DWORD soundFlags;

namespace {

MCIERROR WINAPI RecordMci(LPCSTR command, LPSTR, UINT, HWND callback)
{
    mciTexts.push_back(command);
    mciWindows.push_back(callback);
    return 0;
}

BOOL WINAPI RecordSound(LPCSTR name, HMODULE module, DWORD flags)
{
    soundsPlayed++;
    soundName = name;
    soundModule = module;
    soundFlags = flags;
    return TRUE;
}

HINSTANCE WINAPI RecordShell(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT show)
{
    auto text = [](LPCSTR s) { return std::string(s ? s : "null") + " "; };
    shellCalls.push_back(text(verb) + text(file) + text(parameters) + text(directory) + std::to_string(show) +
                         (window == mainWindow ? " main" : " other"));
    return (HINSTANCE)42;
}

// Points the test program's import of dll!name at replacement.
void PatchImport(const char* dll, const char* name, void* replacement)
{
    BYTE* base = (BYTE*)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD at = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + at); d->Name; d++) {
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; _stricmp((char*)(base + d->Name), dll) == 0 && names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp((char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name, name) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return;
        }
    }
    ADD_FAILURE() << "no import " << dll << "!" << name;
}

} // namespace

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
    static bool patched = false;
    if (!patched) {
        PatchImport("winmm.dll", "mciSendStringA", (void*)RecordMci);
        PatchImport("winmm.dll", "PlaySoundA", (void*)RecordSound);
        PatchImport("shell32.dll", "ShellExecuteA", (void*)RecordShell);
        patched = true;
    }
    CloseMainWindow();
    mciTexts.clear();
    mciWindows.clear();
    shellCalls.clear();
    musicOn = musicPlaying = 1;
    InitApplication(GetModuleHandleA(nullptr));
    CreateMainWindow(GetModuleHandleA(nullptr), showState);
    PumpMessages();
}

void StartGame(unsigned int seed)
{
    NewGame();
    DestroyCardViews();
    DealCardsFromSeed(seed);
    PumpMessages();
    soundsPlayed = 0;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

POINT ChildPosition(HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), (POINT*)&r, 1);
    return { r.left, r.top };
}

LRESULT Click(int button, int x, int y)
{
    return SendMessageA(mainWindow, button == CLICK_LEFT ? WM_LBUTTONDOWN : WM_RBUTTONDOWN,
                        button == CLICK_LEFT ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(x, y));
}

LRESULT Command(int id) { return SendMessageA(mainWindow, WM_COMMAND, id, 0); }

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
    if (column == FREE_CELL_COLUMN)
        return { 720, (row - 1) * 101 + 50 };
    return { (column - 1) * 63 + 31, (row - 1) * 102 + 50 };
}

LRESULT ClickCard(int card, int button)
{
    int column, row;
    if (!FindCardPlace(card, &column, &row))
        return -1;
    POINT p = CellPoint(column, row);
    return Click(button, p.x, p.y);
}

std::string TableKey()
{
    return std::string((const char*)board, sizeof board) + std::string((const char*)freeCells, sizeof freeCells) +
           std::to_string(freeUsed);
}

void SetTableKey(const std::string& key)
{
    std::memcpy(board, key.data(), sizeof board);
    std::memcpy(freeCells, key.data() + sizeof board, sizeof freeCells);
    freeUsed = std::stoi(key.substr(sizeof board + sizeof freeCells));
}

void LayOut(const int rows[4][10], const int free[4])
{
    int column, row, x, y;
    for (int r = 1; r <= 4; r++)
        for (int c = 1; c <= 10; c++)
            board[c][r] = rows[r - 1][c - 1];
    std::memcpy(freeCells + 1, free, 4 * sizeof(int));
    freeUsed = 1 + (free[0] != 0) + (free[1] != 0) + (free[2] != 0) + (free[3] != 0);
    for (int card = 1; card <= 40; card++)
        if (FindCardPlace(card, &column, &row)) {
            PlaceOrigin(column, row, &x, &y);
            MoveCardView(card, x, y);
        }
}

void ExpectConsistentTable()
{
    int places[41] = {}, holes = 0, parked = 0;
    for (int c = 0; c <= 10; c++)
        for (int r = 0; r <= 4; r++) {
            int v = board[c][r];
            ASSERT_TRUE(c == 0 || r == 0 ? v == 0 : v == CELL_EMPTY || (v >= 1 && v <= 40 && ++places[v] == 1))
                << "cell " << c << "," << r << ": " << v;
            holes += c > 0 && r > 0 && v == CELL_EMPTY;
        }
    for (int i = 0; i <= 4; i++) {
        int v = freeCells[i];
        ASSERT_TRUE(v == 0 || (i > 0 && i < freeLimit && v >= 1 && v <= 40 && ++places[v] == 1))
            << "free cell " << i << ": " << v;
        parked += v != 0;
    }
    for (int n = 1; n <= 40; n++) {
        int column, row, x, y;
        ASSERT_TRUE(FindCardPlace(n, &column, &row)) << "card " << n;
        PlaceOrigin(column, row, &x, &y);
        POINT at = ChildPosition(cardWindows[n]);
        ASSERT_TRUE(at.x == x && at.y == y) << "view of card " << n << " at " << at.x << "," << at.y;
    }
    ASSERT_TRUE(holes == parked && freeUsed == parked + 1 && freeLimit >= 2 && freeLimit <= 5)
        << holes << " holes, " << parked << " parked, freeUsed " << freeUsed << ", freeLimit " << freeLimit;
}

namespace {
UINT boxMessage;
WPARAM boxParameter;
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
    char caption[64] = "", text[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    boxSeen = { true, !IsWindowEnabled(mainWindow), caption, text };
    PostMessageA(box, boxMessage, boxParameter, 0);
}
} // namespace

BoxSeen AnswerBox(UINT message, WPARAM wParam, void (*action)())
{
    boxMessage = message;
    boxParameter = wParam;
    boxSeen = BoxSeen();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, AnswerWhenShown);
    action();
    KillTimer(nullptr, timer);
    return boxSeen;
}
