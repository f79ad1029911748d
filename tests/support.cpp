#include "tests/support.h"
#include "app/mainwindow.h"
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "ui/music.h"
#include "view/cardview.h"

#include <mmsystem.h>
#include <cstring>

std::vector<SoundCall> sounds;
std::vector<std::string> mciTexts, shellCalls;
std::vector<HWND> mciWindows;

namespace {

MCIERROR WINAPI RecordMci(LPCSTR command, LPSTR, UINT, HWND callback)
{
    mciTexts.push_back(command);
    mciWindows.push_back(callback);
    return 0;
}

BOOL WINAPI RecordSound(LPCSTR name, HMODULE module, DWORD flags)
{
    return sounds.push_back({ name, module, flags }), TRUE;
}

HINSTANCE WINAPI RecordShell(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT show)
{
    auto text = [](LPCSTR s) { return std::string(s ? s : "null") + " "; };
    shellCalls.push_back(text(verb) + text(file) + text(parameters) + text(directory) + std::to_string(show) +
                         (window == mainWindow ? " main" : " other"));
    return (HINSTANCE)42;
}

// Points the test program's import slot that holds dll!name at replacement.
bool PatchImport(const char* dll, const char* name, void* replacement)
{
    ULONG_PTR target = (ULONG_PTR)GetProcAddress(GetModuleHandleA(dll), name);
    BYTE* base = (BYTE*)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD at = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + at); d->Name; d++)
        for (IMAGE_THUNK_DATA* slot = (IMAGE_THUNK_DATA*)(base + d->FirstThunk); slot->u1.Function; slot++)
            if (target != 0 && slot->u1.Function == target) {
                DWORD protection;
                VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
                slot->u1.Function = (ULONG_PTR)replacement;
                return true;
            }
    return false;
}

// Before any case runs: every case, start-up included, only records these calls.
const bool patched = PatchImport("winmm.dll", "mciSendStringA", (void*)RecordMci) &&
                     PatchImport("winmm.dll", "PlaySoundA", (void*)RecordSound) &&
                     PatchImport("shell32.dll", "ShellExecuteA", (void*)RecordShell);

UINT boxMessage;
WPARAM boxParameter;
BoxSeen boxSeen;

void CALLBACK AnswerWhenShown(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
    while (box != nullptr && !(GetWindow(box, GW_OWNER) == mainWindow && IsWindowVisible(box)))
        box = FindWindowExA(nullptr, box, "#32770", nullptr);
    if (box == nullptr)
        return;
    char caption[64] = "", text[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    boxSeen = { true, !IsWindowEnabled(mainWindow), caption, text };
    PostMessageA(box, boxMessage, boxParameter, 0);
}

} // namespace

void CloseMainWindow()
{
    DestroyWindow(mainWindow);
    PumpMessages();  // takes the quit message the destruction posted
    UnregisterClassA(className, GetModuleHandleA(nullptr));
}

void OpenMainWindow(int showState)
{
    ASSERT_TRUE(patched);
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
    sounds.clear();
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

POINT CellOrigin(int column, int row)
{
    return column == FREE_CELL_COLUMN ? POINT{ 693, (row - 1) * 101 + 1 } : POINT{ (column - 1) * 63, (row - 1) * 102 };
}

LRESULT ClickCard(int card, int button)
{
    int column = 0, row = 0;
    FindCardPlace(card, &column, &row);
    POINT p = CellOrigin(column, row);
    return Click(button, p.x + 31, p.y + 50);
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
    for (int r = 1; r <= 4; r++)
        for (int c = 1; c <= 10; c++)
            board[c][r] = rows[r - 1][c - 1];
    std::memcpy(freeCells + 1, free, 4 * sizeof(int));
    freeUsed = 1 + (free[0] != 0) + (free[1] != 0) + (free[2] != 0) + (free[3] != 0);
    for (int card = 1, column, row; card <= 40; card++)
        if (FindCardPlace(card, &column, &row))
            MoveCardView(card, CellOrigin(column, row).x, CellOrigin(column, row).y);
}

void ExpectConsistentTable()
{
    int places[41] = {}, holes = 0, parked = 0;
    for (int c = 0; c <= 10; c++)
        for (int r = 0; r <= 4; r++) {
            int v = board[c][r];
            ASSERT_TRUE(c == 0 || r == 0 ? v == 0 : v == CELL_EMPTY || (v >= 1 && v <= 40 && ++places[v] == 1))
                << "cell " << c << "," << r << ": " << v;
            holes += v == CELL_EMPTY;
        }
    for (int i = 0; i <= 4; i++) {
        int v = freeCells[i];
        ASSERT_TRUE(v == 0 || (i > 0 && i < freeLimit && v >= 1 && v <= 40 && ++places[v] == 1))
            << "free cell " << i << ": " << v;
        parked += v != 0;
    }
    for (int n = 1, column = 0, row = 0; n <= 40; n++) {
        ASSERT_TRUE(FindCardPlace(n, &column, &row)) << "card " << n;
        POINT want = CellOrigin(column, row), at = ChildPosition(cardWindows[n]);
        ASSERT_TRUE(at.x == want.x && at.y == want.y) << "view of card " << n << " at " << at.x << "," << at.y;
    }
    ASSERT_TRUE(holes == parked && freeUsed == parked + 1 && freeLimit >= 2 && freeLimit <= 5)
        << holes << " holes, " << parked << " parked, freeUsed " << freeUsed << ", freeLimit " << freeLimit;
}

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
