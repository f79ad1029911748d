// Layer by layer: every position reachable from the start tried, with the
// memory of one layer at a time, to prove a loss the store cannot hold.
// Asked for by name (orv2000-solve --layers; make solvability for a deal
// undecided after the budget): it proved 8579 with two free cells lost, 4.2
// billion positions in 15 minutes, where the store holds 120 million.
//
// Why the layers. The game never parks an ace, and an ace goes only into
// column 1, so an ace once in column 1 stays there: the aces in column 1
// never become fewer. Once all four are there column 1 is full, and a hole
// can open in it only where a card leaves it, which no ace does; so the
// rows' suits are fixed from then on, and a settled card never moves again
// (a left click would take it to where it is, and the parks listed never
// take it: its place can be filled only by itself). A position's layer is
// therefore the set of aces in column 1 while they are fewer than four,
// and then the settled run of each row; and its rank, the number of aces
// in column 1 (0 to 3), or with all four, 4 + the settled cards in all.
// A move either stays in its layer or goes to one of higher rank. Taken in
// order of rank, each layer is tried to its end with the store holding its
// positions alone: nothing after it can reach them again. The positions
// reached for later layers wait in files, one a layer, in searchLayers.
// Where no layer holds a won position, none is reachable: the deal is lost.
// Should a move ever go to a layer of no higher rank (the plain search
// parks settled cards), the argument fails and the search stops, unknown.
//
// It keeps no line, so a won position reached stops it too, unknown: the
// other searches find the lines. One thread; the budget, the time limit
// and the interruption stop it as they stop the others.
#include "solver/search.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int LAYER_SLOTS = 1 << 17;
// Buffers for the layers waiting, committed as they are first needed: the
// 32-bit build has few (its address space is small; it never decides a deal
// this way in earnest).
constexpr int LAYER_BUFFERS = sizeof(void*) == 8 ? 65536 : 256;
constexpr int LAYER_BUFFER_KEYS = 512;
constexpr int LAYER_RANKS = 4 + CELL_COUNT + 1;
constexpr unsigned LAYER_NONE = 0xFFFFFFFFu;
// The positions of the layer being tried that are still to be tried: a stack
// in memory, half of it put into a file of its own when it is full.
constexpr int LAYER_STACK = 1 << 21;
struct LayerSlot {
    unsigned id;
    int rank;
    int buffer;  // 0: none
    int count;   // keys waiting in the buffer
    bool done;
};
LayerSlot layerSlots[LAYER_SLOTS];
int layerSlotsUsed = 0;
PositionKey* layerBuffers = nullptr;  // LAYER_BUFFERS of LAYER_BUFFER_KEYS, buffer 1 first
int layerFreeBuffers[LAYER_BUFFERS];
int layerFreeCount = 0;
int layerBuffersCommitted = 0;
PositionKey* layerStack = nullptr;
bool layerFailed = false;

// The layer of a position, with its rank: the set of aces in column 1 (0 to
// 14), or 16 + the rows' suits (base 4) * 10000 + the settled lengths less
// one, a digit each.
unsigned LayerOf(const Position& p, int* rank)
{
    unsigned aces = 0, suits = 0;
    for (int r = 1; r <= BOARD_ROWS; r++) {
        int card = p.grid[CellAt(1, r)];
        if (isAce[card]) {
            aces |= 1u << (card - 1) / 10;
            suits = suits * 4 + (card - 1) / 10;
        }
    }
    if (aces != 15) {
        *rank = (aces & 1) + (aces >> 1 & 1) + (aces >> 2 & 1) + (aces >> 3);
        return aces;
    }
    *rank = 4 + p.settledCount;
    unsigned runs = 0;
    for (int r = 1; r <= BOARD_ROWS; r++)
        runs = runs * 10 + (p.settled[r] - 1);
    return 16 + suits * 10000 + runs;
}

// A layer's file, and spilled part k of the stack of the layer being tried.
void LayerFile(char* path, size_t size, unsigned id)
{
    std::snprintf(path, size, "%s/%u.bin", searchLayers, id);
}

void SpillFile(char* path, size_t size, int k)
{
    std::snprintf(path, size, "%s/spill%d.bin", searchLayers, k);
}

bool AppendKeys(const char* path, const PositionKey* keys, int count)
{
    FILE* f = std::fopen(path, "ab");
    if (!f)
        return false;
    bool written = std::fwrite(keys, sizeof(PositionKey), count, f) == (size_t)count;
    return std::fclose(f) == 0 && written;
}

// The files of the layers written to last stay open. A buffer goes to its
// file every 512 keys, and under Wine each opening and closing of a file
// waits on the wine server: that took about a quarter of the time, spent
// on a few layers written to again and again.
constexpr int OPEN_LAYER_FILES = 64;
struct OpenLayerFile {
    unsigned id;
    FILE* file;
    unsigned long long used;  // when last written to: the oldest is closed first
};
OpenLayerFile openLayerFiles[OPEN_LAYER_FILES];
unsigned long long layerWrites = 0;

// False when what was written to the file could not all be.
bool CloseLayerFile(OpenLayerFile& open)
{
    bool closed = open.file == nullptr || std::fclose(open.file) == 0;
    open = OpenLayerFile{ LAYER_NONE, nullptr, 0 };
    return closed;
}

// The layer's file closed, before it is read or removed.
bool CloseLayerFile(unsigned id)
{
    for (OpenLayerFile& open : openLayerFiles)
        if (open.id == id)
            return CloseLayerFile(open);
    return true;
}

bool FlushLayer(LayerSlot& slot)
{
    if (slot.count == 0)
        return true;
    OpenLayerFile* open = &openLayerFiles[0];
    for (OpenLayerFile& o : openLayerFiles) {
        if (o.id == slot.id) {
            open = &o;
            break;
        }
        if (o.used < open->used)
            open = &o;
    }
    int count = slot.count;
    slot.count = 0;
    if (open->id != slot.id) {
        char path[MAX_PATH + 16];
        LayerFile(path, sizeof path, slot.id);
        if (!CloseLayerFile(*open) || (open->file = std::fopen(path, "ab")) == nullptr)
            return false;
        open->id = slot.id;
    }
    open->used = ++layerWrites;
    const PositionKey* keys = layerBuffers + (size_t)(slot.buffer - 1) * LAYER_BUFFER_KEYS;
    return std::fwrite(keys, sizeof(PositionKey), count, open->file) == (size_t)count;
}

// Keeps a position for a later layer: STOP_NONE, or why it cannot.
int SendToLayer(unsigned id, int rank, const PositionKey& key)
{
    unsigned i = (id * 2654435761u) & (LAYER_SLOTS - 1);
    while (layerSlots[i].id != LAYER_NONE && layerSlots[i].id != id)
        i = (i + 1) & (LAYER_SLOTS - 1);
    LayerSlot& slot = layerSlots[i];
    if (slot.id == LAYER_NONE) {
        // Three quarters full: probes would grow long.
        if (layerSlotsUsed >= LAYER_SLOTS / 4 * 3)
            return STOP_MEMORY;
        layerSlotsUsed++;
        slot = LayerSlot{ id, rank, 0, 0, false };
    }
    if (slot.buffer == 0) {
        if (layerFreeCount == 0 && layerBuffersCommitted < LAYER_BUFFERS &&
            VirtualAlloc(layerBuffers + (size_t)layerBuffersCommitted * LAYER_BUFFER_KEYS,
                         sizeof(PositionKey) * LAYER_BUFFER_KEYS, MEM_COMMIT, PAGE_READWRITE))
            layerFreeBuffers[layerFreeCount++] = ++layerBuffersCommitted;
        if (layerFreeCount == 0) {
            // Every buffer taken: all go to their files, and are free again.
            for (LayerSlot& other : layerSlots)
                if (other.id != LAYER_NONE && other.buffer != 0) {
                    if (!FlushLayer(other))
                        return STOP_FILES;
                    layerFreeBuffers[layerFreeCount++] = other.buffer;
                    other.buffer = 0;
                }
            if (layerFreeCount == 0)
                return STOP_MEMORY;
        }
        slot.buffer = layerFreeBuffers[--layerFreeCount];
    }
    layerBuffers[(size_t)(slot.buffer - 1) * LAYER_BUFFER_KEYS + slot.count++] = key;
    return slot.count < LAYER_BUFFER_KEYS || FlushLayer(slot) ? STOP_NONE : STOP_FILES;
}

// Whether the caller's time limit or its interruption stops the search.
int LayerStopAsked()
{
    if (searchTimeLimit > 0 && Seconds() - searchStarted > searchTimeLimit)
        return STOP_TIME;
    return searchInterrupted && searchInterrupted() ? STOP_INTERRUPTED : STOP_NONE;
}

PositionKey layerChunk[4096];
int layerTop = 0;
int layerSpills = 0;

bool PushLayerKey(const PositionKey& key)
{
    if (layerTop == LAYER_STACK) {
        char path[MAX_PATH + 16];
        SpillFile(path, sizeof path, ++layerSpills);
        if (!AppendKeys(path, layerStack + LAYER_STACK / 2, LAYER_STACK / 2))
            return false;
        layerTop = LAYER_STACK / 2;
    }
    layerStack[layerTop++] = key;
    return true;
}

// The next position to try, or false when there is none (or a file fails:
// layerFailed).
bool PopLayerKey(PositionKey* key)
{
    if (layerTop == 0 && layerSpills > 0) {
        char path[MAX_PATH + 16];
        SpillFile(path, sizeof path, layerSpills--);
        FILE* f = std::fopen(path, "rb");
        layerTop = f ? (int)std::fread(layerStack, sizeof(PositionKey), LAYER_STACK / 2, f) : 0;
        layerFailed |= !f || layerTop != LAYER_STACK / 2;
        if (f)
            std::fclose(f);
        std::remove(path);
    }
    if (layerTop == 0)
        return false;
    *key = layerStack[--layerTop];
    return true;
}

// The hole after every ace: the order stored is the first of this order.
bool HoleLast(int a, int b)
{
    return (a != 0 ? a : CARD_COUNT + 1) < (b != 0 ? b : CARD_COUNT + 1);
}

// p's key with cards[i] standing in cells[i].
PositionKey KeyWith(const Position& p, const int* cells, const int* cards, int n)
{
    PositionKey key = p.key;
    for (int i = 0; i < n; i++)
        FlipKey(key, cells[i], p.grid[cells[i]] ^ cards[i]);
    return key;
}

// Stores a position of the layer being tried and keeps it to try.
//
// With one hole in column 1, an ace in column 1 may move into it (it is the
// topmost), leaving a hole where it stood and nothing else changed; so the
// aces in column 1 and that hole stand there in every order reachable from
// each other (up to 24 with three aces), and a big layer is full of such
// sets. Only one order of each set is stored, the aces in order of suit
// from the top and the hole after them, and every order is kept to try when
// that one is new: every position is still tried, once.
int AddToLayer(Position& p, unsigned long long hash)
{
    unsigned long long top = p.holes & COLUMN_ONE;
    int cells[BOARD_ROWS], cards[BOARD_ROWS], n = 0;
    if (top != 0 && (top & (top - 1)) == 0) {
        for (int r = 1; r <= BOARD_ROWS; r++) {
            int cell = CellAt(1, r);
            if (p.grid[cell] == 0 || isAce[p.grid[cell]]) {
                cells[n] = cell;
                cards[n++] = p.grid[cell];
            }
        }
        for (int i = 1; i < n; i++)
            for (int j = i; j > 0 && HoleLast(cards[j], cards[j - 1]); j--)
                std::swap(cards[j - 1], cards[j]);
    }
    PositionKey key = KeyWith(p, cells, cards, n);
    int stored = StorePosition(key, n > 1 ? PositionHash(key) : hash);
    if (stored != STORE_NEW)
        return stored == STORE_FULL ? STOP_MEMORY : STOP_NONE;
    do {
        positionsSearched++;
        if (!PushLayerKey(KeyWith(p, cells, cards, n)))
            return STOP_FILES;
    } while (std::next_permutation(cards, cards + n, HoleLast));
    return STOP_NONE;
}

// A position reached (p, with its hash) while a layer is tried: kept for
// its own layer, or stored and kept to try in this one, or tried at once.
//
// What the store keeps here. The store holds a layer alone, and a big layer
// is what it runs out of; with two free cells nearly every position this
// search stores has both free cells full (97 % of the first 13 million of
// seed 816), where the only moves are left clicks into the holes: one or two
// moves, a few more with a hole in column 1. So, as in the depth-first
// search with one free cell, such a position with one move or two is not
// stored but tried at once, each time it is reached, and its moves lead on
// to where the first time led. Nothing is cut: every position reached is
// still tried. A run of such positions ends at a stored one after at most
// UNSTORED_RUN positions, of which at most UNSTORED_FORKS have two moves, so
// a circle is seen the second time round and the positions tried again from
// one stored position are bounded. On the dead row of the command-line test
// the store then holds a quarter of the positions (11,367 instead of
// 45,304), in about the same time.
//
// A position of a later layer is mostly reached again and again (the same
// fill from another position, or through positions not stored): layerSent
// keeps the keys sent last, one by hash, and one already there is not sent
// again (its layer's file has it). p is left as it came.
constexpr int UNSTORED_FORKS = 4;
constexpr int LAYER_SENT_BITS = sizeof(void*) == 8 ? 22 : 16;
PositionKey* layerSent = nullptr;

int ReachInLayer(Position& p, const LayerSlot& slot, unsigned long long hash, int run = 0, int forks = 0)
{
    int rank;
    unsigned id = LayerOf(p, &rank);
    if (id != slot.id) {
        if (rank <= slot.rank)
            return STOP_LAYERS;
        PositionKey& sent = layerSent[hash >> (64 - LAYER_SENT_BITS)];
        if (SameKey(sent, p.key))
            return STOP_NONE;
        sent = p.key;
        return SendToLayer(id, rank, p.key);
    }
    SearchFrame f;
    if (p.parkedCount < cellsEnabled || run == UNSTORED_RUN ||
        (Generate(p, &f), f.count > 2 || (f.count == 2 && forks == UNSTORED_FORKS)))
        return AddToLayer(p, hash);
    positionsSearched++;
    int stop = STOP_NONE;
    for (int i = 0; i < f.count && stop == STOP_NONE; i++) {
        Undo u = {};
        if (Apply(p, f.moves[i], &u)) {
            stop = ReachInLayer(p, slot, f.hash[i], run + 1, forks + (f.count > 1));
            Revert(p, u);
        }
    }
    return stop;
}

// Tries every position of one layer, from those its file holds; a STOP_
// reason, or STOP_NONE when its end is reached.
int TryLayer(LayerSlot& slot, long long budget)
{
    char path[MAX_PATH + 16];
    LayerFile(path, sizeof path, slot.id);
    bool flushed = FlushLayer(slot) && CloseLayerFile(slot.id);
    if (slot.buffer != 0)
        layerFreeBuffers[layerFreeCount++] = slot.buffer;
    slot.buffer = 0;
    slot.done = true;
    FILE* in = flushed ? std::fopen(path, "rb") : nullptr;
    if (!in)
        return STOP_FILES;
    ClearStore(1);
    int stop = STOP_NONE;
    size_t n;
    Position& p = searchers[1].position;
    while (stop == STOP_NONE && (n = std::fread(layerChunk, sizeof(PositionKey), 4096, in)) > 0) {
        for (size_t i = 0; i < n && stop == STOP_NONE; i++) {
            LoadKey(p, layerChunk[i]);
            stop = ReachInLayer(p, slot, PositionHash(layerChunk[i]));
        }
    }
    std::fclose(in);
    std::remove(path);

    PositionKey key;
    for (long long tried = 1; stop == STOP_NONE && PopLayerKey(&key); tried++) {
        LoadKey(p, key);
        if (Won(p))
            return STOP_NO_LINE;
        SearchFrame f;
        Generate(p, &f);
        for (int i = 0; i < f.count && stop == STOP_NONE; i++) {
            Undo u = {};
            if (!Apply(p, f.moves[i], &u))
                continue;
            stop = ReachInLayer(p, slot, f.hash[i]);
            Revert(p, u);
        }
        if (stop == STOP_NONE && positionsSearched >= budget)
            stop = STOP_BUDGET;
        if (stop == STOP_NONE && tried % 4096 == 0)
            stop = LayerStopAsked();
    }
    NoteMemory(sizeof(PositionKey) * (LAYER_STACK + (1ull << LAYER_SENT_BITS) +
                                      (unsigned long long)layerBuffersCommitted * LAYER_BUFFER_KEYS));
    return stop != STOP_NONE ? stop : layerFailed ? STOP_FILES : STOP_NONE;
}

// Removes the files of the layers not tried, and gives back the memory.
void EndLayers()
{
    char path[MAX_PATH + 16];
    for (OpenLayerFile& open : openLayerFiles)
        CloseLayerFile(open);
    for (int i = 0; i < LAYER_SLOTS; i++) {
        if (layerSlots[i].id != LAYER_NONE && !layerSlots[i].done) {
            LayerFile(path, sizeof path, layerSlots[i].id);
            std::remove(path);
        }
        layerSlots[i].id = LAYER_NONE;
    }
    for (; layerSpills > 0; layerSpills--) {
        SpillFile(path, sizeof path, layerSpills);
        std::remove(path);
    }
    VirtualFree(layerBuffers, 0, MEM_RELEASE);
    VirtualFree(layerStack, 0, MEM_RELEASE);
    VirtualFree(layerSent, 0, MEM_RELEASE);
    layerBuffers = layerStack = layerSent = nullptr;
}

} // namespace

int LayeredSearch(long long budget)
{
    for (int i = 0; i < LAYER_SLOTS; i++)
        layerSlots[i].id = LAYER_NONE;
    layerSlotsUsed = layerFreeCount = layerBuffersCommitted = 0;
    layerTop = layerSpills = 0;
    layerFailed = false;
    for (OpenLayerFile& open : openLayerFiles)
        CloseLayerFile(open);  // none is open: this marks each unused (0 is a layer)
    layerBuffers = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) * LAYER_BUFFERS * LAYER_BUFFER_KEYS,
                                              MEM_RESERVE, PAGE_READWRITE);
    layerStack = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) * LAYER_STACK, MEM_COMMIT | MEM_RESERVE,
                                            PAGE_READWRITE);
    // Zeros, which no position is: a search never skips a position another
    // search sent.
    layerSent = (PositionKey*)VirtualAlloc(nullptr, sizeof(PositionKey) << LAYER_SENT_BITS, MEM_COMMIT | MEM_RESERVE,
                                           PAGE_READWRITE);
    // 2^30 slots, 32 GB, where the address space and the limit allow.
    storeMostBits = sizeof(void*) == 8 ? 30 : STORE_MOST_BITS;
    storeWholeLimit = 1;
    Position& p = searchers[1].position;
    LoadBoard(p);
    int rank;
    unsigned id = LayerOf(p, &rank);
    int stop = layerBuffers && layerStack && layerSent ? STOP_NONE : STOP_MEMORY;
    if (stop == STOP_NONE)
        stop = SendToLayer(id, rank, p.key);
    for (int r = rank; r < LAYER_RANKS && stop == STOP_NONE; r++)
        for (int i = 0; i < LAYER_SLOTS && stop == STOP_NONE; i++)
            if (layerSlots[i].id != LAYER_NONE && !layerSlots[i].done && layerSlots[i].rank == r)
                stop = TryLayer(layerSlots[i], budget);
    EndLayers();
    storeMostBits = STORE_MOST_BITS;
    storeWholeLimit = 0;
    searchStop = stop;
    return stop == STOP_NONE ? SOLVE_LOST : SOLVE_UNKNOWN;
}
