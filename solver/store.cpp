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

namespace {

constexpr unsigned long long SLOT_BYTES = 30;
constexpr int FIRST_BITS = 16;
// At most 2^27 slots (4 GB, 120 million positions), so that a search gives
// the same answer on every machine that can give it 6 GB.
constexpr int MOST_BITS = 27;

unsigned char* slots = nullptr;
int slotBits = 0;

unsigned long long SlotCount(int bits)
{
    return 1ull << bits;
}

unsigned long long Hash(const PositionKey& key)
{
    unsigned long long h = key.word[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 29) ^ key.word[1]) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 31) ^ key.word[2]) * 0x165667B19E3779F9ull;
    h = (h ^ (h >> 27) ^ key.word[3]) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 32);
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

bool IsEmptySlot(const unsigned char* slot)
{
    unsigned long long first;
    std::memcpy(&first, slot, 8);
    return first == 0;
}

void NotePeak(unsigned long long bytes)
{
    if (bytes > storePeak)
        storePeak = bytes;
}

// The slot holding the key, or the empty slot where it belongs.
unsigned char* FindSlot(unsigned char* table, int bits, const PositionKey& key)
{
    unsigned long long mask = SlotCount(bits) - 1;
    unsigned long long i = Hash(key) >> (64 - bits);
    for (;; i = (i + 1) & mask) {
        unsigned char* slot = table + i * SLOT_BYTES;
        if (IsEmptySlot(slot) || std::memcmp(slot, &key, SLOT_BYTES) == 0)
            return slot;
    }
}

bool Grow()
{
    unsigned long long now = SlotCount(slotBits) * SLOT_BYTES;
    if (slotBits >= MOST_BITS || now + 2 * now > storeLimit)
        return false;
    unsigned char* bigger = Take(slotBits + 1);
    if (!bigger)
        return false;
    NotePeak(3 * now);
    for (unsigned long long i = 0; i < SlotCount(slotBits); i++) {
        const unsigned char* slot = slots + i * SLOT_BYTES;
        if (IsEmptySlot(slot))
            continue;
        PositionKey key = {};
        std::memcpy(&key, slot, SLOT_BYTES);
        std::memcpy(FindSlot(bigger, slotBits + 1, key), slot, SLOT_BYTES);
    }
    Give(slots);
    slots = bigger;
    slotBits++;
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
    if (slots && slotBits == FIRST_BITS) {
        std::memset(slots, 0, (size_t)(SlotCount(slotBits) * SLOT_BYTES));
    } else {
        Give(slots);
        slotBits = FIRST_BITS;
        slots = SlotCount(slotBits) * SLOT_BYTES <= storeLimit ? Take(slotBits) : nullptr;
    }
    storeCount = 0;
    NotePeak(slots ? SlotCount(slotBits) * SLOT_BYTES : 0);
}

void ResetStorePeak()
{
    storePeak = slots ? SlotCount(slotBits) * SLOT_BYTES : 0;
}

int StorePosition(const PositionKey& key)
{
    if (!slots)
        return STORE_FULL;
    unsigned long long count = SlotCount(slotBits);
    if (storeCount * 10 >= count * 7 && !Grow() && storeCount * 10 >= count * 9)
        return STORE_FULL;
    unsigned char* slot = FindSlot(slots, slotBits, key);
    if (!IsEmptySlot(slot))
        return STORE_SEEN;
    std::memcpy(slot, &key, SLOT_BYTES);
    storeCount++;
    return STORE_NEW;
}
