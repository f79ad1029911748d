// The position store: open addressing over whole keys, a power of two of
// 32-byte slots taken with VirtualAlloc, doubled when 70 % full while the
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

namespace {

constexpr unsigned long long SLOT_BYTES = STORE_SLOT_BYTES;
constexpr int FIRST_BITS = 16;
// At most 2^27 slots (4 GB, 120 million positions), so that a search gives
// the same answer on every machine that can give it 6.5 GB.
constexpr int MOST_BITS = 27;
constexpr LONG SLOT_CLAIMED = (LONG)0x80000000u;
constexpr LONG SLOT_READY = 0x40000000;
constexpr unsigned long long KEY_BITS_OF_LAST_WORD = (1ull << 48) - 1;

// The counts at which the table grows (70 %) and is full (90 %).
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
    // The first count with count * 10 >= slots * 7 (or * 9).
    growAt = (SlotCount(bits) * 7 + 9) / 10;
    fullAt = (SlotCount(bits) * 9 + 9) / 10;
}

unsigned char* Take(int bits)
{
    SIZE_T bytes = (SIZE_T)(SlotCount(bits) * SLOT_BYTES);
    if ((unsigned long long)bytes != SlotCount(bits) * SLOT_BYTES)
        return nullptr;  // more than this process can address
    return (unsigned char*)VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
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

// Growing: the old table's slots are copied in parts of GROW_PART slots,
// each part by whichever thread takes it next, so that threads waiting for
// the store share the work. The new table is published only once the parts
// are counted out, and the old one is let go only once no waiting thread is
// still among the parts, so a thread never copies into or from a table of
// another growth.
constexpr unsigned long long GROW_PART = 1 << 16;
unsigned char* volatile growingInto = nullptr;
volatile LONG growNext = 0;
volatile LONG growParts = 0;
volatile LONG growPartsDone = 0;
volatile LONG growHelpers = 0;

// Copies parts of the old table into the new one until none is left. The
// keys are all different: each goes into the first empty slot from where it
// belongs, and those come in nearly the order of the old slots. Every page
// of the new table is written first: the system gives them sooner one after
// the other than among the copies.
void CopyParts(unsigned char* bigger)
{
    int bits = storeBits + 1;
    unsigned long long mask = SlotCount(bits) - 1;
    for (LONG part; (part = InterlockedIncrement(&growNext) - 1) < growParts;) {
        unsigned long long begin = (unsigned long long)part * GROW_PART;
        unsigned long long end = std::min(begin + GROW_PART, SlotCount(storeBits));
        for (unsigned long long at = 2 * begin * SLOT_BYTES; at < 2 * end * SLOT_BYTES; at += 4096)
            bigger[at] = 0;
        for (unsigned long long i = begin; i < end; i++) {
            unsigned char* slot = storeSlots + i * SLOT_BYTES;
            LONG state = *SlotState(slot);
            if (state == 0)
                continue;
            PositionKey key = { { Word(slot, 0), Word(slot, 1), Word(slot, 2), Word(slot, 3) & KEY_BITS_OF_LAST_WORD } };
            unsigned long long j = PositionHash(key) >> (64 - bits);
            if (storeThreads == 1) {
                while (*SlotState(bigger + j * SLOT_BYTES) != 0)
                    j = (j + 1) & mask;
            } else {
                while (InterlockedCompareExchange(SlotState(bigger + j * SLOT_BYTES), state, 0) != 0)
                    j = (j + 1) & mask;
            }
            std::memcpy(bigger + j * SLOT_BYTES, slot, 28);
            *SlotState(bigger + j * SLOT_BYTES) = state;
        }
        InterlockedIncrement(&growPartsDone);
    }
}

// A thread waiting while the table grows takes parts too.
void HelpGrow()
{
    InterlockedIncrement(&growHelpers);
    unsigned char* bigger = growingInto;
    if (bigger)
        CopyParts(bigger);
    InterlockedDecrement(&growHelpers);
}

// With every other thread outside the store.
bool Grow()
{
    unsigned long long now = SlotCount(storeBits) * SLOT_BYTES;
    if (storeBits >= MOST_BITS || now + 2 * now > storeLimit)
        return false;
    unsigned char* bigger = Take(storeBits + 1);
    if (!bigger)
        return false;
    NotePeak(3 * now);
    growParts = (LONG)((SlotCount(storeBits) + GROW_PART - 1) / GROW_PART);
    growPartsDone = 0;
    growNext = 0;
    InterlockedExchangePointer((void* volatile*)&growingInto, bigger);
    CopyParts(bigger);
    while (growPartsDone < growParts)
        YieldProcessor();
    InterlockedExchangePointer((void* volatile*)&growingInto, nullptr);
    while (growHelpers != 0)
        YieldProcessor();
    Give(storeSlots);
    SetTable(bigger, storeBits + 1);
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

unsigned long long FreeMemoryForSearch()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return 64ull << 20;
    unsigned long long physical = status.ullAvailPhys / 3;
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
    if (storeSlots && storeBits == FIRST_BITS) {
        std::memset(storeSlots, 0, (size_t)(SlotCount(storeBits) * SLOT_BYTES));
    } else {
        Give(storeSlots);
        storeSlots = nullptr;
    }
    SetTable(storeSlots ? storeSlots : SlotCount(FIRST_BITS) * SLOT_BYTES <= storeLimit ? Take(FIRST_BITS) : nullptr,
             FIRST_BITS);
    storeCount = 0;
    ownRoom = 0;
    storeThreads = threads > 1 ? threads : 1;
    roomBatch = storeThreads > 1 ? 256 : 1;
    NotePeak(storeSlots ? SlotCount(storeBits) * SLOT_BYTES : 0);
}

void ResetStorePeak()
{
    storePeak = storeSlots ? SlotCount(storeBits) * SLOT_BYTES : 0;
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
