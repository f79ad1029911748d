// The position store: open addressing over whole keys, a power of two of
// 32-byte slots taken with VirtualAlloc, doubled when 80 % full while the
// limit allows, else filled up to 90 %.
//
// Threads. A slot is four aligned words; its last four bytes (cells 38 to
// 40 and sixteen bits never used by a key) tell its state: 0 empty, else
// SLOT_CLAIMED while a thread writes a key into it, then SLOT_READY. A
// thread takes an empty slot with one compare-and-swap on those bytes, so
// two threads never write one slot; one that finds a slot claimed waits the
// few instructions until it is ready before comparing, so a position is
// never taken for another nor added twice. Room is taken a batch at a time
// (one position at a time for one thread, so that one thread's search fills
// and grows the store at the same counts whatever the machine), and the
// table grows under the exclusive lock, which the searching threads give up
// at their next StoreCheck.
#include "solver/store.h"
#include "app/winsys.h"

#include <atomic>
#include <algorithm>
#include <cstring>

unsigned long long storeLimit = 0;
unsigned long long storeCount = 0;
unsigned long long storePeak = 0;
unsigned char* storeSlots = nullptr;
int storeBits = 0;
int storeMostBits = STORE_MOST_BITS;
int storeWholeLimit = 0;

namespace {

constexpr unsigned long long SLOT_BYTES = STORE_SLOT_BYTES;
constexpr int FIRST_BITS = 16;
constexpr LONG SLOT_CLAIMED = (LONG)0x80000000u;
constexpr LONG SLOT_READY = 0x40000000;
constexpr unsigned long long KEY_BITS_OF_LAST_WORD = (1ull << 48) - 1;

// The counts at which the table grows (80 %: fuller, a position takes
// longer to look up; emptier, more fresh memory to write into) and is full
// (90 %).
unsigned long long growAt = 0;
unsigned long long fullAt = 0;
// Room is taken this many positions at a time.
long long roomBatch = 1;
// The threads of the search, and those waiting while the table grows.
int storeThreads = 1;
SRWLOCK storeLock = SRWLOCK_INIT;
volatile LONG growing = 0;
// The room of a search of one thread.
long long ownRoom = 0;

unsigned long long SlotCount(int bits)
{
    return 1ull << bits;
}

void SetTable(unsigned char* table, int bits)
{
    storeSlots = table;
    storeBits = bits;
    // The first count with count * 10 >= slots * 8 (or * 9).
    growAt = (SlotCount(bits) * 8 + 9) / 10;
    fullAt = (SlotCount(bits) * 9 + 9) / 10;
}

// The table lies at the start of a region of address space reserved as
// large as the biggest table the limit lets it grow to; a growth commits
// the region's next part and moves the positions within it, so the memory
// a search touches is its largest table, not that table and every smaller
// one before it (a first touch of a page costs the system more than
// filling it).
int regionBits = 0;
// Bytes at the start of the region written so far: a stage after another,
// and a search after another up to KEPT_MOST, writes into them again,
// zeroing them as its table grows to them, rather than into memory the
// system has to give anew. searchWritten: those the search now running has
// written, what it counts as its own.
unsigned long long regionWritten = 0;
unsigned long long searchWritten = 0;
// What a search leaves written for the next: an eighth of the limit, at
// most 256 MB, about what a search of a few seconds writes. A companion
// deciding one table after another finds it ready; more would sit idle.
constexpr unsigned long long KEPT_MOST = 256ull << 20;

// What a search leaves written for the next, in whole pages.
unsigned long long KeptBytes()
{
    return std::max(SlotCount(FIRST_BITS) * SLOT_BYTES, std::min(KEPT_MOST, storeLimit / 8)) & ~4095ull;
}

// Whether a table of this size may double: while the limit holds the bigger
// table and this one together, as when the two were side by side, so a
// search fills the store at the same count on the same limit as ever (with
// storeWholeLimit, while the limit holds the bigger table alone).
bool MayDouble(unsigned long long bytes)
{
    return (storeWholeLimit ? 2 : 3) * bytes <= storeLimit;
}

// The biggest table the limit allows.
int LargestBits()
{
    int bits = FIRST_BITS;
    while (bits < storeMostBits && MayDouble(SlotCount(bits) * SLOT_BYTES) &&
           (SIZE_T)(SlotCount(bits + 1) * SLOT_BYTES) == SlotCount(bits + 1) * SLOT_BYTES)
        bits++;
    return bits;
}

// A region for tables of up to 2^*bits slots, less where the address space
// has no such room, with the first table committed; null if none fits.
unsigned char* Reserve(int* bits)
{
    if (SlotCount(FIRST_BITS) * SLOT_BYTES > storeLimit)
        return nullptr;
    for (; *bits >= FIRST_BITS; --*bits) {
        void* region = VirtualAlloc(nullptr, (SIZE_T)(SlotCount(*bits) * SLOT_BYTES), MEM_RESERVE, PAGE_READWRITE);
        if (!region)
            continue;
        if (VirtualAlloc(region, (SIZE_T)(SlotCount(FIRST_BITS) * SLOT_BYTES), MEM_COMMIT, PAGE_READWRITE))
            return (unsigned char*)region;
        VirtualFree(region, 0, MEM_RELEASE);
        break;
    }
    return nullptr;
}

void Give(unsigned char* table)
{
    if (table)
        VirtualFree(table, 0, MEM_RELEASE);
}

unsigned long long Word(const unsigned char* slot, int i)
{
    unsigned long long w;
    std::memcpy(&w, slot + 8 * i, 8);
    return w;
}

volatile LONG* SlotState(unsigned char* slot)
{
    return (volatile LONG*)(slot + 28);
}

void NotePeak(unsigned long long bytes)
{
    if (bytes > storePeak)
        storePeak = bytes;
}

// The most slots any position lies past the one it belongs in.
volatile LONG longestProbe = 0;

void NoteProbe(LONG probe)
{
    for (LONG seen = longestProbe; probe > seen; seen = longestProbe) {
        if (storeThreads == 1) {
            longestProbe = probe;
            return;
        }
        if (InterlockedCompareExchange(&longestProbe, probe, seen) == seen)
            return;
    }
}

// Growing: the new half of the table is made ready first, page by page (a
// page the search wrote before is zeroed, a fresh one touched), in parts of
// GROW_PART bytes taken by whichever thread comes next, so that threads
// waiting for the store share that work (the system gives pages sooner one
// after the other than among the moves).
constexpr unsigned long long GROW_PART = 256 * 4096;
unsigned char* volatile growingFrom = nullptr;
volatile LONG growNext = 0;
volatile LONG growParts = 0;
volatile LONG growPartsDone = 0;
volatile LONG growHelpers = 0;

void TouchParts(unsigned char* from)
{
    unsigned long long bytes = SlotCount(storeBits) * SLOT_BYTES;
    unsigned long long written = regionWritten > bytes ? regionWritten - bytes : 0;
    for (LONG part; (part = InterlockedIncrement(&growNext) - 1) < growParts;) {
        unsigned long long begin = (unsigned long long)part * GROW_PART;
        unsigned long long end = std::min(begin + GROW_PART, bytes);
        if (begin < written)
            std::memset(from + begin, 0, (size_t)(std::min(end, written) - begin));
        for (unsigned long long at = std::max(begin, written); at < end; at += 4096)
            from[at] = 0;
        InterlockedIncrement(&growPartsDone);
    }
}

// A thread waiting while the table grows takes parts too.
void HelpGrow()
{
    InterlockedIncrement(&growHelpers);
    unsigned char* from = growingFrom;
    if (from)
        TouchParts(from);
    InterlockedDecrement(&growHelpers);
}

// Puts a position, with its state, into the first empty slot from where it
// belongs in a table of 2^bits slots; how far past that it went.
LONG Place(const unsigned char* entry, int bits)
{
    PositionKey key = { { Word(entry, 0), Word(entry, 1), Word(entry, 2), Word(entry, 3) & KEY_BITS_OF_LAST_WORD } };
    unsigned long long mask = SlotCount(bits) - 1, home = PositionHash(key) >> (64 - bits), j = home;
    while (*SlotState(storeSlots + j * SLOT_BYTES) != 0)
        j = (j + 1) & mask;
    LONG state;
    std::memcpy(&state, entry + 28, sizeof state);
    std::memmove(storeSlots + j * SLOT_BYTES, entry, 28);
    *SlotState(storeSlots + j * SLOT_BYTES) = state;
    return (LONG)((j - home) & mask);
}

// With every other thread outside the store. The table doubles where it
// lies. A position's place in the bigger table is twice, or twice and one,
// the place it belongs in now, and a run of full slots there is at most
// 2P + 2 long, P the longest probe now (a run holds just the positions that
// belong in it, and those belonging in k slots now lie within k + P). Taken
// from the last slot down, a position at slot i >= 2P + 2 belongs at or
// after i - P, so in the bigger table at or after 2i - 2P > i: it passes
// only slots already emptied or in the new half, and wraps round at most
// into the lowest 2P + 2 slots, which were set aside first (with those
// lying wrapped round now). What was set aside goes in last.
bool Grow()
{
    unsigned long long slots = SlotCount(storeBits), now = slots * SLOT_BYTES;
    if (storeBits >= regionBits || storeBits >= storeMostBits || !MayDouble(now))
        return false;
    unsigned long long low = std::min(slots, 2ull * (unsigned long long)longestProbe + 2);
    unsigned char* aside = (unsigned char*)VirtualAlloc(nullptr, (SIZE_T)(low * SLOT_BYTES), MEM_COMMIT | MEM_RESERVE,
                                                        PAGE_READWRITE);
    if (!aside)
        return false;
    if (!VirtualAlloc(storeSlots + now, (SIZE_T)now, MEM_COMMIT, PAGE_READWRITE)) {
        Give(aside);
        return false;
    }
    NotePeak(std::max(2 * now, searchWritten) + low * SLOT_BYTES);
    growParts = (LONG)((now + GROW_PART - 1) / GROW_PART);
    growPartsDone = 0;
    growNext = 0;
    InterlockedExchangePointer((void* volatile*)&growingFrom, storeSlots + now);
    TouchParts(storeSlots + now);
    while (growPartsDone < growParts)
        YieldProcessor();
    InterlockedExchangePointer((void* volatile*)&growingFrom, nullptr);
    while (growHelpers != 0)
        YieldProcessor();
    regionWritten = std::max(regionWritten, 2 * now);
    searchWritten = std::max(searchWritten, 2 * now);

    unsigned long long kept = 0;
    for (unsigned long long i = 0; i < low; i++) {
        unsigned char* slot = storeSlots + i * SLOT_BYTES;
        if (*SlotState(slot) != 0) {
            std::memcpy(aside + kept++ * SLOT_BYTES, slot, SLOT_BYTES);
            *SlotState(slot) = 0;
        }
    }
    int bits = storeBits + 1;
    LONG longest = 0;
    for (unsigned long long i = slots; i-- > low;) {
        unsigned char* slot = storeSlots + i * SLOT_BYTES;
        if (*SlotState(slot) == 0)
            continue;
        unsigned char entry[SLOT_BYTES];
        std::memcpy(entry, slot, SLOT_BYTES);
        *SlotState(slot) = 0;
        longest = std::max(longest, Place(entry, bits));
    }
    for (unsigned long long k = 0; k < kept; k++)
        longest = std::max(longest, Place(aside + k * SLOT_BYTES, bits));
    Give(aside);
    longestProbe = longest;
    SetTable(storeSlots, bits);
    return true;
}

// Grows the table when it is due: alone, or, with threads, once every other
// thread has let go of the store. A table that cannot grow is not tried
// again in this search: it fills up to 90 %.
void GrowWhenDue()
{
    if (storeThreads == 1) {
        if (storeCount >= growAt && !Grow())
            growAt = ~0ull;
        return;
    }
    if (InterlockedCompareExchange(&growing, 1, 0) == 0) {
        ReleaseSRWLockShared(&storeLock);
        AcquireSRWLockExclusive(&storeLock);
        if (storeCount >= growAt && !Grow())
            growAt = ~0ull;
        ReleaseSRWLockExclusive(&storeLock);
        InterlockedExchange(&growing, 0);
        AcquireSRWLockShared(&storeLock);
    } else {
        StoreCheck();
    }
}

unsigned long long ReadCount()
{
    if (storeThreads == 1)
        return storeCount;
    return (unsigned long long)InterlockedCompareExchange64((volatile LONG64*)&storeCount, 0, 0);
}

// Takes room for more positions; 0 when the store is full.
int TakeRoom(long long* room)
{
    for (;;) {
        unsigned long long count = ReadCount();
        if (count >= growAt) {
            GrowWhenDue();
            continue;
        }
        if (count >= fullAt)
            return 0;
        long long n = (long long)(fullAt - count) < roomBatch ? (long long)(fullAt - count) : roomBatch;
        if (storeThreads == 1) {
            storeCount += n;
            *room = n;
            return 1;
        }
        if ((unsigned long long)InterlockedCompareExchange64((volatile LONG64*)&storeCount, (LONG64)(count + n),
                                                            (LONG64)count) == count) {
            *room = n;
            return 1;
        }
    }
}

} // namespace

unsigned long long FreeMemoryForSearch(int parts, int of)
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return 64ull << 20;
    unsigned long long physical = status.ullAvailPhys / of * parts;
    unsigned long long address = status.ullAvailVirtual / 2;
    return physical < address ? physical : address;
}

int SetStoreLimit(unsigned long long bytes)
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status) && (bytes > status.ullAvailPhys || bytes > status.ullAvailVirtual))
        return 0;
    storeLimit = bytes;
    return 1;
}

void ClearStore(int threads)
{
    // A region just reserved holds zeros; one kept from the stage or search
    // before has its first table zeroed.
    int bits = LargestBits();
    if (!storeSlots || bits > regionBits) {
        Give(storeSlots);
        storeSlots = Reserve(&bits);
        regionBits = bits;
        regionWritten = storeSlots ? SlotCount(FIRST_BITS) * SLOT_BYTES : 0;
        searchWritten = regionWritten;
    } else {
        std::memset(storeSlots, 0, (size_t)(SlotCount(FIRST_BITS) * SLOT_BYTES));
    }
    SetTable(storeSlots, FIRST_BITS);
    longestProbe = 0;
    storeCount = 0;
    ownRoom = 0;
    storeThreads = threads > 1 ? threads : 1;
    roomBatch = storeThreads > 1 ? 256 : 1;
    NotePeak(searchWritten);
}

int WritePages(unsigned char* region, unsigned long long* written, unsigned long long kept, unsigned long long* most)
{
    if (*written >= kept)
        return 1;
    unsigned long long end = kept - *written > *most ? (*written + *most) & ~4095ull : kept;
    if (end <= *written || !VirtualAlloc(region, (SIZE_T)end, MEM_COMMIT, PAGE_READWRITE))
        return 0;
    for (unsigned long long at = *written; at < end; at += 4096)
        region[at] = 0;
    *most -= end - *written;
    *written = end;
    return end == kept;
}

int WarmStore(unsigned long long* most)
{
    if (!storeSlots)
        ClearStore();
    return !storeSlots ||
           WritePages(storeSlots, &regionWritten, std::min(KeptBytes(), SlotCount(regionBits) * SLOT_BYTES), most);
}

void ShrinkStore()
{
    unsigned long long kept = KeptBytes();
    if (storeSlots && regionWritten > kept) {
        VirtualFree(storeSlots + kept, (SIZE_T)(regionWritten - kept), MEM_DECOMMIT);
        regionWritten = kept;
    }
    ClearStore();
}

void ResetStorePeak()
{
    storePeak = storeSlots ? SlotCount(storeBits) * SLOT_BYTES : 0;
    searchWritten = storePeak;
}

int StorePosition(const PositionKey& key, unsigned long long hash, long long* room)
{
    if (!storeSlots)
        return STORE_FULL;
    unsigned long long mask = SlotCount(storeBits) - 1;
    for (unsigned long long i = hash >> (64 - storeBits);; i = (i + 1) & mask) {
        unsigned char* slot = storeSlots + i * SLOT_BYTES;
        LONG state = *SlotState(slot);
        if (state == 0) {
            if (*room == 0) {
                // Taking room may grow the table: look again in the new one.
                if (!TakeRoom(room))
                    return STORE_FULL;
                return StorePosition(key, hash, room);
            }
            state = InterlockedCompareExchange(SlotState(slot), SLOT_CLAIMED, 0);
            if (state == 0) {
                std::memcpy(slot, &key, 28);
                InterlockedExchange(SlotState(slot), (LONG)(key.word[3] >> 32) | SLOT_READY);
                --*room;
                NoteProbe((LONG)((i - (hash >> (64 - storeBits))) & mask));
                return STORE_NEW;
            }
        }
        while (state & SLOT_CLAIMED) {
            YieldProcessor();
            state = *SlotState(slot);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (Word(slot, 0) == key.word[0] && Word(slot, 1) == key.word[1] && Word(slot, 2) == key.word[2] &&
            (Word(slot, 3) & KEY_BITS_OF_LAST_WORD) == key.word[3])
            return STORE_SEEN;
    }
}

int StorePosition(const PositionKey& key, unsigned long long hash)
{
    return StorePosition(key, hash, &ownRoom);
}

int StorePosition(const PositionKey& key)
{
    return StorePosition(key, PositionHash(key));
}

void HoldStore()
{
    if (storeThreads > 1)
        AcquireSRWLockShared(&storeLock);
}

void ReleaseStore()
{
    if (storeThreads > 1)
        ReleaseSRWLockShared(&storeLock);
}

void StoreCheck()
{
    if (storeThreads > 1 && growing) {
        ReleaseSRWLockShared(&storeLock);
        while (growing) {
            HelpGrow();
            Sleep(0);
        }
        AcquireSRWLockShared(&storeLock);
    }
}
