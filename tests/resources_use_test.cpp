// Long runs keep the window system's objects and the process's memory flat:
// a new game destroys the old views before creating new ones, and nothing
// else is made per game.
#include "app/mainwindow.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>

namespace {

struct Usage {
    DWORD userObjects;   // as the system counts them (0 where it does not)
    DWORD gdiObjects;
    int windows;         // the thread's windows, top-level and children
    SIZE_T privateBytes; // committed private memory, region by region
};

BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM count)
{
    *(int*)count += 1 + CountChildWindows(window);
    return TRUE;
}

SIZE_T CommittedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (BYTE* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = (BYTE*)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if ((BYTE*)region.BaseAddress + region.RegionSize < at)
            break;
    }
    return total;
}

Usage Measure()
{
    PumpMessages();
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, (LPARAM)&windows);
    return { GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS),
             GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), windows, CommittedPrivateBytes() };
}

int Count(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

} // namespace

TEST(ResourceUse, AThousandNewGamesLeaveObjectCountsAndMemoryFlat)
{
    OpenMainWindow();
    soundsAudible = false;
    // Warm up: first-time allocations of the window system and the runtime.
    for (int i = 0; i < 50; i++)
        Command(32775);
    Usage before = Measure();

    int games = Count("ORVENNA_NEW_GAMES", 1000);
    for (int i = 0; i < games; i++) {
        RightClick(CellPoint(1 + i % 10, 1).x, CellPoint(1 + i % 10, 1).y);
        Command(32775);
    }
    Usage after = Measure();

    std::printf("%d games: USER objects %lu -> %lu, GDI objects %lu -> %lu, windows %d -> %d, "
                "private bytes %lu -> %lu\n",
                games, before.userObjects, after.userObjects, before.gdiObjects, after.gdiObjects,
                before.windows, after.windows, (unsigned long)before.privateBytes,
                (unsigned long)after.privateBytes);
    RecordProperty("user_objects", (int)after.userObjects);
    RecordProperty("gdi_objects", (int)after.gdiObjects);
    RecordProperty("private_kib_growth", (int)((after.privateBytes - before.privateBytes) / 1024));
    EXPECT_LE(after.userObjects, before.userObjects);
    EXPECT_LE(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
    // A leak of even one small object per game would show as tens of KiB.
    EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024)
        << "private bytes grew from " << before.privateBytes << " to " << after.privateBytes;
    EXPECT_EQ(CountChildWindows(mainWindow), 40);
}
