// Best first: the position of the highest value is tried next, its value the
// beam's score (cards in order) less how many moves led there, so that a
// search that climbs into a region where it cannot go on turns back to
// shallower positions instead of sinking deeper. It keeps every position it
// reaches until it has tried its moves, so, unlike a beam, it drops nothing:
// run to the end it has tried every position, and "lost" is proved. A node
// holds only the move to it from the node it came from; a node's position is
// made again by going back to where its path meets the one last made and
// playing forward from there, mostly a few moves.
//
// Three searches of SolvePosition are best first. The near search, right
// after the first look (up to 4 million positions, moves weighing double),
// decides 4,916 of the 10,000 deals with two free cells, 2,006 with three
// and 677 with four; without it the beam wins them, in eight times the
// time (seeds 1 to 1,000 with two free cells: 219 s against 27 s). The
// search with cards and moves alike and the budget left decides 24 deals
// with two free cells, of which the rows fixed (below) win 22 without it
// and leave two undecided (1253 and 5937); and it proves a loss too large
// for the near search, as the companion's tables after a losing move often
// are.
// The rows fixed: below.
//
// Threads. Each thread keeps the nodes it finds apart, under a lock of its
// own, and takes the best of its own: so it mostly goes on near the position
// it made last, and seldom waits for another. A thread with none left, or
// whose best is well below another's, takes that one's best. The store is
// shared, so each position waits with one thread only, and the search ends
// when no node waits and no thread is trying one: every position was tried.
#include "solver/search.h"

#include <algorithm>

namespace {

struct BestNode {
    int parent;
    int next;  // the node tried after it among those of its value
    Move move;
    unsigned short depth;
};
// Values 0 .. BEST_VALUES - 1: a position more moves deep than about its
// score and BEST_DEPTH_MARGIN has wandered far from any short line, and
// waits with the lowest value, last in first out, until nothing better is
// left (it is kept, never dropped).
constexpr int BEST_VALUES = 4096;
constexpr int BEST_DEPTH_MARGIN = 2000;
int bestScoreWeight = 1;
int bestDepthWeight = 1;
// A thread takes another's best node when that is this much better, looking
// once every BEST_LOOK_AROUND dives.
constexpr int BEST_STEAL_MARGIN = 4;
constexpr int BEST_LOOK_AROUND = 16;
// Each thread's newest node waiting of each value, under its lock.
int bestFirst[MAX_THREADS + 1][BEST_VALUES];
// What the other threads read of a thread, a cache line each: its best value
// waiting (under its lock); for the end of the search, the nodes it added
// (counted before they wait) and took (counted once taken), and whether it
// may be trying a node.
struct alignas(64) BestShare {
    volatile int top;
    volatile int busy;
    volatile long long added;
    volatile long long taken;
};
BestShare bestShare[MAX_THREADS + 1];
struct alignas(64) BestLock {
    CRITICAL_SECTION lock;
};
BestLock bestLocks[MAX_THREADS + 1];
// The nodes: how many there are and room for, under nodeLock.
BestNode* bestNodes = nullptr;
long long bestCount = 0;
long long bestCommitted = 0;
long long bestRoom = 0;
CRITICAL_SECTION nodeLock;
constexpr long long NODE_CHUNK = 1 << 20;

int BestValue(int score, int depth)
{
    int value = bestScoreWeight * score - bestDepthWeight * depth + BEST_DEPTH_MARGIN;
    return std::max(0, std::min(value, BEST_VALUES - 1));
}

void MakeNode(Searcher& s, int node)
{
    Position& p = s.position;
    int depth = bestNodes[node].depth, n = node, count = 0;
    for (; depth > s.madeDepth; depth--) {
        s.toMake[count++] = n;
        n = bestNodes[n].parent;
    }
    while (s.madeDepth > depth)
        Revert(p, s.frames[s.madeDepth--].undo);
    while (s.madePath[s.madeDepth] != n) {
        s.toMake[count++] = n;
        n = bestNodes[n].parent;
        Revert(p, s.frames[s.madeDepth--].undo);
    }
    while (count > 0) {
        int m = s.toMake[--count];
        s.madeDepth++;
        Apply(p, bestNodes[m].move, &s.frames[s.madeDepth].undo);
        s.madePath[s.madeDepth] = m;
    }
    RecountPairs(p);
}

// A new position waiting to be tried, found from a node.
struct BestChild {
    int parent;
    Move move;
    int value;
};
// A thread goes on from a node to its best child itself, without passing it
// through the nodes waiting, while that child is at least as good as any
// node of its own waiting (the one it would take next anyway), for at most
// BEST_DIVE nodes; the other children wait with the thread meanwhile, and
// it takes its lock once a dive.
constexpr int BEST_DIVE = 8;
// Nodes a thread takes for itself at a time.
constexpr int OWN_NODES = 4096;

// Room for a thread's next OWN_NODES nodes; false when memory has run out.
bool TakeNodes(Searcher& s)
{
    EnterCriticalSection(&nodeLock);
    bool taken = true;
    while (taken && bestCount + OWN_NODES > bestCommitted) {
        long long more = std::min(NODE_CHUNK, bestRoom - bestCommitted);
        if (more <= 0 || !VirtualAlloc(bestNodes + bestCommitted, (SIZE_T)(more * sizeof(BestNode)), MEM_COMMIT,
                                       PAGE_READWRITE))
            taken = false;
        else
            bestCommitted += more;
    }
    if (taken) {
        s.nodeNext = bestCount;
        s.nodeEnd = bestCount += OWN_NODES;
    }
    LeaveCriticalSection(&nodeLock);
    if (!taken)
        EndStage(STOP_MEMORY);
    return taken;
}

// A new node of this thread's; -1 when memory has run out.
int NewNode(Searcher& s)
{
    if (s.nodeNext == s.nodeEnd && !TakeNodes(s))
        return -1;
    return (int)s.nodeNext++;
}

// The best value waiting among a thread's nodes, under its lock.
int TopOf(int t)
{
    int top = bestShare[t].top;
    if (top >= 0 && bestFirst[t][top] < 0) {
        while (top >= 0 && bestFirst[t][top] < 0)
            top--;
        bestShare[t].top = top;
    }
    return top;
}

// The best node waiting of thread t, or -1; taken by thread me.
int TakeBest(int t, int me)
{
    EnterCriticalSection(&bestLocks[t].lock);
    int node = -1;
    if (TopOf(t) >= 0) {
        // The newest node of the best value: it is near the one made last.
        node = bestFirst[t][bestShare[t].top];
        bestFirst[t][bestShare[t].top] = bestNodes[node].next;
        TopOf(t);
    }
    LeaveCriticalSection(&bestLocks[t].lock);
    if (node >= 0)
        bestShare[me].taken = bestShare[me].taken + 1;
    return node;
}

// None waiting and none busy, seen so that no node was added meanwhile:
// the nodes added are counted before they wait, taken ones after they were
// taken, and a thread is busy before it takes one.
bool NoneLeft()
{
    long long added = 0, taken = 0, again = 0;
    for (int t = 1; t <= stageThreads; t++)
        added += bestShare[t].added;
    for (int t = 1; t <= stageThreads; t++)
        taken += bestShare[t].taken;
    for (int t = 1; t <= stageThreads; t++)
        if (bestShare[t].busy)
            return false;
    for (int t = 1; t <= stageThreads; t++)
        again += bestShare[t].added;
    return taken == added && again == added;
}

// Adds the new positions a thread found to its own, and takes the node to
// try next (-1 if none is waiting); *waiting is then the best value the
// thread still has waiting. The thread is busy meanwhile.
int PassNodes(Searcher& s, const BestChild* children, int n, int* waiting)
{
    int me = (int)(&s - searchers);
    BestShare& mine = bestShare[me];
    mine.added = mine.added + n;
    EnterCriticalSection(&bestLocks[me].lock);
    int top = mine.top;
    for (int i = 0; i < n; i++) {
        int at = NewNode(s);
        if (at < 0)
            break;
        const BestChild& child = children[i];
        bestNodes[at] = BestNode{ child.parent, bestFirst[me][child.value], child.move,
                                  (unsigned short)(bestNodes[child.parent].depth + 1) };
        bestFirst[me][child.value] = at;
        top = std::max(top, child.value);
    }
    if (top != mine.top)
        mine.top = top;
    int own = TopOf(me);
    LeaveCriticalSection(&bestLocks[me].lock);
    if (stageEnded)
        return -1;
    // Another's best, if it is well above this thread's own; looked at now
    // and then, as reading another's line costs about as much as a node.
    int from = me, best = own < 0 ? -1 : own + BEST_STEAL_MARGIN - 1;
    if (own < 0 || ++s.passes % BEST_LOOK_AROUND == 0) {
        for (int t = 1; t <= stageThreads; t++) {
            if (t != me && bestShare[t].top > best) {
                best = bestShare[t].top;
                from = t;
            }
        }
    }
    int node = TakeBest(from, me);
    if (node < 0 && from != me)
        node = TakeBest(me, me);
    *waiting = mine.top;
    return node;
}

} // namespace

void SetUpBestFirst()
{
    InitializeCriticalSectionAndSpinCount(&nodeLock, 4000);
    for (int t = 1; t <= MAX_THREADS; t++)
        InitializeCriticalSectionAndSpinCount(&bestLocks[t].lock, 4000);
}

// A thread's part of a best-first stage.
void BestWork(Searcher& s)
{
    Position& p = s.position;
    p = stageStart;
    s.madeDepth = 0;
    s.madePath[0] = 0;
    s.nodeNext = s.nodeEnd = 0;
    SearchFrame& f = s.frames[0];
    BestChild children[BEST_DIVE * MAX_MOVES];
    int n = 0, waiting = -1;
    BestShare& mine = bestShare[(int)(&s - searchers)];
    HoldStore();
    while (!stageEnded) {
        if (!mine.busy)
            InterlockedExchange((volatile LONG*)&mine.busy, 1);
        int node = PassNodes(s, children, n, &waiting);
        n = 0;
        if (node < 0) {
            mine.busy = 0;
            if (NoneLeft()) {
                EndStage(STAGE_EXHAUSTED);
                break;
            }
            // Others may yet add nodes; let go of the store meanwhile.
            ReleaseStore();
            Sleep(0);
            HoldStore();
            continue;
        }
        for (int dive = 1; node >= 0 && !stageEnded; dive++) {
            MakeNode(s, node);
            Generate(p, &f);
            int depth = bestNodes[node].depth + 1;
            int first = n, best = -1;
            for (int i = 0; i < f.count && !stageEnded; i++) {
                PositionKey after;
                int score, child = TryChild(s, p, f, i, &after, &score);
                if (child == CHILD_OLD)
                    continue;
                if (child == CHILD_WON) {
                    if (EndStage(STAGE_WON)) {
                        int d = depth - 1;
                        lineDepth = depth;
                        lineMoves[lineDepth] = f.moves[i];
                        for (int m = node; m > 0; m = bestNodes[m].parent)
                            lineMoves[d--] = bestNodes[m].move;
                    }
                    break;
                }
                if (CountPosition(s))
                    break;
                if (depth >= MAX_SEARCH_DEPTH) {
                    s.cut = true;
                    continue;
                }
                children[n++] = BestChild{ node, f.moves[i], BestValue(score, depth) };
                // The last of the best: the newest, were they all waiting.
                if (best < 0 || children[n - 1].value >= children[best].value)
                    best = n - 1;
            }
            node = -1;
            if (best >= 0 && dive < BEST_DIVE && children[best].value >= waiting && !stageEnded &&
                (node = NewNode(s)) >= 0) {
                bestNodes[node] = BestNode{ children[best].parent, -1, children[best].move, (unsigned short)depth };
                std::copy(children + best + 1, children + n, children + best);
                n--;
            }
            for (int i = first; i < n; i++)
                waiting = std::max(waiting, children[i].value);
        }
    }
    mine.busy = 0;
    CountFresh(s);
    ReleaseStore();
}

// Best first with each card in order worth scoreWeight and each move
// depthWeight.
int BestFirst(long long budget, int scoreWeight, int depthWeight)
{
    bestScoreWeight = scoreWeight;
    bestDepthWeight = depthWeight;
    unsigned long long room = NodeRoom();
    bestRoom = std::min((long long)(room / sizeof(BestNode)), 0x7FFFFFFFll);
    unsigned char* arena = NodeRegion(room);
    bestCommitted = std::min(NODE_CHUNK, bestRoom);
    if (!arena || !VirtualAlloc(arena, (SIZE_T)(bestCommitted * sizeof(BestNode)), MEM_COMMIT, PAGE_READWRITE)) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }
    bestNodes = (BestNode*)arena;
    unsigned long long fullLimit = storeLimit;
    storeLimit -= room;

    Searcher& s = searchers[1];
    StartStage(threadCount, budget);
    for (int t = 1; t <= MAX_THREADS; t++) {
        for (int v = 0; v < BEST_VALUES; v++)
            bestFirst[t][v] = -1;
        bestShare[t].top = -1;
        bestShare[t].busy = 0;
        bestShare[t].added = bestShare[t].taken = 0;
    }
    bestNodes[0] = BestNode{ -1, -1, Move{}, 0 };
    bestCount = 1;
    bestShare[1].top = BestValue(Score(s.position), 0);
    bestFirst[1][bestShare[1].top] = 0;
    bestShare[1].added = 1;
    bestStage = true;
    BestWork(s);
    int result = StageAnswer();
    bestStage = false;
    NoteMemory((unsigned long long)bestCommitted * sizeof(BestNode));
    LeaveNodeRegion((unsigned long long)bestCommitted * sizeof(BestNode));
    storeLimit = fullLimit;
    bestNodes = nullptr;
    return result;
}

// Rows fixed: the suit of each row chosen beforehand, one way after another
// (24 in all), and each ace let into column 1 only in its suit's row. Every
// move such a search makes is one the game allows; it only leaves out the
// lines in which an ace goes into another row first, so it finds wins and
// never proves a loss ("lost" there says only that this way has none). What
// it leaves is small: where a search of a billion positions finds no end,
// each way has at most about five million, which a best-first search tries
// to the end in a few seconds. It comes last, for the deals every search
// before it left undecided: there the searches sink into regions whose rows
// were set wrongly long before, and fixing the rows keeps them out. Where
// no way has a win, the 24 ways again with one ace at a time let stand in
// column 1 outside its row (whether one does is read from the position, so
// this too only leaves moves out): each way holds about ten times as many
// positions, and a deal none of the first ways won may have a win there.
// In the table they win 3757 and 7234 with two free cells, which every
// search before them leaves undecided within the budget.
constexpr long long ROWS_EACH = 8000000;

int RowsFixed(long long budget)
{
    // The stop of the search before stands unless this one wins or is
    // stopped for good.
    int stop = searchStop, result = SOLVE_UNKNOWN;
    for (acesAstray = 0; acesAstray <= 1 && GoesOn(result, budget); acesAstray++) {
        int suitOfRow[BOARD_ROWS + 1] = { 0, 1, 2, 3, 4 };
        do {
            for (int r = 1; r <= BOARD_ROWS; r++)
                aceRow[suitOfRow[r]] = r;
            result = BestFirst(std::min(budget - positionsSearched, ROWS_EACH << (2 * acesAstray)), 1, 1);
            if (result == SOLVE_LOST)
                result = SOLVE_UNKNOWN;
        } while (GoesOn(result, budget) && std::next_permutation(suitOfRow + 1, suitOfRow + BOARD_ROWS + 1));
    }
    acesAstray = 0;
    for (int suit = 1; suit <= BOARD_ROWS; suit++)
        aceRow[suit] = 0;
    if (result == SOLVE_UNKNOWN && !StopsAll(searchStop))
        searchStop = stop != STOP_NONE ? stop : STOP_DEPTH;
    return result;
}
