// The positions one search has reached, each kept whole: the 40 grid cells
// at six bits a cell (30 bytes), so a position is never taken for another.
// The store takes its memory from the system as it fills, up to a limit set
// from what the machine has free (and 120 million positions at most); past
// the limit it says it is full rather than forget or confuse positions.
#pragma once

// Grid cell i (1..40, row by row) is bits 6 * (i - 1) .. 6 * i - 1; a hole
// is 0. The last 16 bits are always 0.
struct PositionKey {
    unsigned long long word[4];
};

constexpr int STORE_NEW = 1;
constexpr int STORE_SEEN = 2;
constexpr int STORE_FULL = 3;

// Bytes the store may take, counting the old and the new table side by side
// while it grows; 0 until SetStoreLimit.
extern unsigned long long storeLimit;
// Positions stored since the last ClearStore.
extern unsigned long long storeCount;
// The most bytes the store has held at once since ResetStorePeak.
extern unsigned long long storePeak;

// The memory one search may count on: a third of the physical memory free
// now, and no more than half the address space left to this process.
unsigned long long FreeMemoryForSearch();
// Sets the limit; 0 when the machine does not have that much free.
int SetStoreLimit(unsigned long long bytes);
// Forgets every position, keeping only a small table.
void ClearStore();
void ResetStorePeak();
// Remembers a position: STORE_NEW the first time, STORE_SEEN after, and
// STORE_FULL when it is new but there is no room for it.
int StorePosition(const PositionKey& key);
