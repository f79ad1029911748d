// The position store: open addressing over whole keys, a power of two of
// 30-byte slots taken with VirtualAlloc, doubled when 70 % full while the
// limit allows, else filled up to 90 %. The first ten cells of a position
// are never all holes, so a slot whose first eight bytes are 0 is empty.
#include "solver/store.h"
#include "app/winsys.h"

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
// the same answer on every machine that can give it 6 GB.
constexpr int MOST_BITS = 27;

// The counts at which the table grows (70 %) and is full (90 %).
unsigned long long growAt = 0;
unsigned long long fullAt = 0;

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

// The last six bytes of a slot: a full word would reach into the next slot
// or past the table.
unsigned long long LastWord(const unsigned char* slot)
{
    unsigned int low;
    unsigned short high;
    std::memcpy(&low, slot + 24, 4);
    std::memcpy(&high, slot + 28, 2);
    return low | (unsigned long long)high << 32;
}

void NotePeak(unsigned long long bytes)
{
    if (bytes > storePeak)
        storePeak = bytes;
}

// The slot holding the key, or the empty slot where it belongs. Most slots
// passed differ in the first word already.
unsigned char* FindSlot(unsigned char* table, int bits, const PositionKey& key, unsigned long long hash)
{
    unsigned long long mask = SlotCount(bits) - 1;
    unsigned long long i = hash >> (64 - bits);
    for (;; i = (i + 1) & mask) {
        unsigned char* slot = table + i * SLOT_BYTES;
        unsigned long long first = Word(slot, 0);
        if (first == 0)
            return slot;
        if (first == key.word[0] && Word(slot, 1) == key.word[1] && Word(slot, 2) == key.word[2] &&
            LastWord(slot) == key.word[3])
            return slot;
    }
}

bool Grow()
{
    unsigned long long now = SlotCount(storeBits) * SLOT_BYTES;
    if (storeBits >= MOST_BITS || now + 2 * now > storeLimit)
        return false;
    unsigned char* bigger = Take(storeBits + 1);
    if (!bigger)
        return false;
    NotePeak(3 * now);
    // Every page of the new table is written below; the system gives them
    // sooner one after the other than among the copies.
    for (unsigned long long at = 0; at < 2 * now; at += 4096)
        bigger[at] = 0;
    // The keys are all different: each goes into the first empty slot from
    // where it belongs, and those come in nearly the order of the old slots.
    unsigned long long mask = SlotCount(storeBits + 1) - 1;
    for (unsigned long long i = 0; i < SlotCount(storeBits); i++) {
        const unsigned char* slot = storeSlots + i * SLOT_BYTES;
        if (Word(slot, 0) == 0)
            continue;
        PositionKey key = { { Word(slot, 0), Word(slot, 1), Word(slot, 2), LastWord(slot) } };
        unsigned long long j = PositionHash(key) >> (64 - (storeBits + 1));
        while (Word(bigger + j * SLOT_BYTES, 0) != 0)
            j = (j + 1) & mask;
        std::memcpy(bigger + j * SLOT_BYTES, slot, SLOT_BYTES);
    }
    Give(storeSlots);
    SetTable(bigger, storeBits + 1);
    return true;
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

void ClearStore()
{
    if (storeSlots && storeBits == FIRST_BITS) {
        std::memset(storeSlots, 0, (size_t)(SlotCount(storeBits) * SLOT_BYTES));
    } else {
        Give(storeSlots);
        SetTable(SlotCount(FIRST_BITS) * SLOT_BYTES <= storeLimit ? Take(FIRST_BITS) : nullptr, FIRST_BITS);
    }
    storeCount = 0;
    NotePeak(storeSlots ? SlotCount(storeBits) * SLOT_BYTES : 0);
}

void ResetStorePeak()
{
    storePeak = storeSlots ? SlotCount(storeBits) * SLOT_BYTES : 0;
}

int StorePosition(const PositionKey& key, unsigned long long hash)
{
    if (!storeSlots)
        return STORE_FULL;
    if (storeCount >= growAt && !Grow() && storeCount >= fullAt)
        return STORE_FULL;
    unsigned char* slot = FindSlot(storeSlots, storeBits, key, hash);
    if (Word(slot, 0) != 0)
        return STORE_SEEN;
    std::memcpy(slot, &key, SLOT_BYTES);
    storeCount++;
    return STORE_NEW;
}

int StorePosition(const PositionKey& key)
{
    return StorePosition(key, PositionHash(key));
}
