// The positions one search has reached, each kept whole: the 40 grid cells
// at six bits a cell (30 bytes), so a position is never taken for another.
// The store takes its memory from the system as it fills, up to a limit set
// from what the machine has free (and 120 million positions at most); past
// the limit it says it is full rather than forget or confuse positions.
// The threads of one search share it: any number may look up and add
// positions at once.
#pragma once

// Grid cell i (1..40, row by row) is bits 6 * (i - 1) .. 6 * i - 1; a hole
// is 0. The last 16 bits are always 0.
struct PositionKey {
    unsigned long long word[4];
};

constexpr int STORE_NEW = 1;
constexpr int STORE_SEEN = 2;
constexpr int STORE_FULL = 3;

// The most slots the table may have, as a power of two: 2^27 (4 GB, 120
// million positions), so that a search gives the same answer on every
// machine that can give it 6.5 GB. The search layer by layer, which holds
// one layer at a time, raises it for itself as far as the limit allows.
constexpr int STORE_MOST_BITS = 27;
extern int storeMostBits;
// 1 while the search layer by layer runs: its table may double as long as
// the limit holds the bigger table alone (the table doubles where it lies),
// not the bigger and the one before together as for every other search.
extern int storeWholeLimit;

// Bytes the store may take. The table doubles only while the limit would
// hold the bigger table and the one before it together, so the count at
// which a search fills the store depends on the limit alone; 0 until
// SetStoreLimit.
extern unsigned long long storeLimit;
// Positions stored since the last ClearStore.
extern unsigned long long storeCount;
// The most bytes the store has held at once since ResetStorePeak.
extern unsigned long long storePeak;

// The memory one search may count on: a third of the physical memory free
// now (or the share asked for), and no more than half the address space
// left to this process.
unsigned long long FreeMemoryForSearch(int parts = 1, int of = 3);
// Sets the limit; 0 when the machine does not have that much free.
int SetStoreLimit(unsigned long long bytes);
// Forgets every position, for a stage of a search of this many threads (set
// before they start). The memory the search has written stays with the
// store for the next stage, until ShrinkStore.
void ClearStore(int threads = 1);
// Forgets every position, as a search ends, and gives back the memory it
// wrote beyond what the next search may write into again (an eighth of the
// limit, at most 256 MB).
void ShrinkStore();
// Writes the memory ShrinkStore keeps, between searches, so that the
// searches after find it ready: the system gives memory never written page
// by page, which on some machines costs a search a third of its time. At
// most *most bytes (less what it wrote); 1 once all of it is written.
int WarmStore(unsigned long long* most);
// Commits a region's first kept bytes and writes each page from *written on,
// at most *most bytes of them (both counts kept up to date); 1 once *written
// reaches kept.
int WritePages(unsigned char* region, unsigned long long* written, unsigned long long kept, unsigned long long* most);
void ResetStorePeak();
// Where a position belongs in the store. KeySum adds up the key's words,
// each times its own constant: a card put into a hole adds to the sum what
// the key with that card alone sums to, and taking it out subtracts it, so
// a search can find the sum after a move from the sum before it. SumHash
// mixes a sum into the hash; PositionHash(key) is SumHash(KeySum(key)).
inline unsigned long long KeySum(const PositionKey& key)
{
    return key.word[0] * 0x9E3779B97F4A7C15ull + key.word[1] * 0xC2B2AE3D27D4EB4Full +
           key.word[2] * 0x165667B19E3779F9ull + key.word[3] * 0xD6E8FEB86659FD93ull;
}

inline unsigned long long SumHash(unsigned long long sum)
{
    sum ^= sum >> 33;
    sum *= 0xFF51AFD7ED558CCDull;
    sum ^= sum >> 33;
    sum *= 0xC4CEB9FE1A85EC53ull;
    return sum ^ (sum >> 33);
}

inline unsigned long long PositionHash(const PositionKey& key)
{
    return SumHash(KeySum(key));
}

// The table: 2^storeBits slots of STORE_SLOT_BYTES; a position's search
// starts at the slot named by the top storeBits bits of its hash.
constexpr unsigned long long STORE_SLOT_BYTES = 32;
extern unsigned char* storeSlots;
extern int storeBits;

// Asks for the memory where a position with this hash would be kept, and
// the slot after it: a search that knows its next positions early finds
// them there sooner.
inline void PrefetchPosition(unsigned long long hash)
{
#if defined(__GNUC__)
    if (storeSlots) {
        const unsigned char* slot = storeSlots + (hash >> (64 - storeBits)) * STORE_SLOT_BYTES;
        __builtin_prefetch(slot);
        __builtin_prefetch(slot + STORE_SLOT_BYTES);
    }
#else
    (void)hash;
#endif
}

// Remembers a position: STORE_NEW the first time, STORE_SEEN after, and
// STORE_FULL when it is new but there is no room for it. The hash is
// PositionHash(key). room: how many more positions the calling thread has
// taken the right to add (0 at first); it takes more as it needs them.
int StorePosition(const PositionKey& key, unsigned long long hash, long long* room);
// The same for a search of one thread.
int StorePosition(const PositionKey& key, unsigned long long hash);
int StorePosition(const PositionKey& key);

// Each thread of a search of several holds the store while it searches and
// lets go of it when it waits for work or ends; the table grows only while
// none holds it. StoreCheck, often (every few thousand positions), lets a
// table that must grow do so.
void HoldStore();
void ReleaseStore();
void StoreCheck();
