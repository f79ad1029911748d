// Depth first over every position reachable from the start: with one free
// cell it decides every deal alone (the 10,000 of the table in 5.6 minutes
// on one thread, most of them lost); with more it takes the first look of
// 100,000 positions, which decides half the deals with two free cells, 80 %
// with three and 93 % with four, in about a millisecond each. Without it the
// near best-first search decides them too, in 3.7 times the time with two
// free cells (seeds 1 to 1,000), 1.7 times with three and 1.4 times with
// four (every deal of the table), and some far longer (4473 with four: 337
// positions and 2 ms here, 1.65 million and 0.9 s there).
//
// A depth-first search of several threads shares one store: a thread goes
// into a position only when it is the one that added it, and so tries every
// move from it; a position another thread added is that thread's to search.
// When every thread has run out of work, every position added has had all
// its moves tried, so "lost" means what it means for one thread. A thread
// out of work waits for another to hand it the untried moves of the
// shallowest frame of its path, with the moves that lead there from the
// start; the other thread goes on with what it kept. The first thread
// searches alone until the search has lasted long enough to be worth more:
// a short search costs no more than before.
#include "solver/search.h"

#include <cstring>

namespace {

// Hands the untried moves of the shallowest frame of this thread's path
// with untried moves to a thread waiting for work, if there are both.
void HandOverWork(Searcher& s, int d)
{
    int k = s.base;
    while (k <= d && s.frames[k].next >= s.frames[k].count)
        k++;
    if (k > d)
        return;
    EnterCriticalSection(&workLock);
    Searcher* to = nullptr;
    for (int i = 1; i <= threadsRunning && !to; i++)
        if (searchers[i].state == THREAD_HUNGRY)
            to = &searchers[i];
    if (to) {
        SearchFrame& f = s.frames[k];
        to->handedDepth = k;
        for (int j = 1; j < k; j++)
            to->handedPath[j] = s.frames[j].undo.move;
        int n = 0;
        for (int i = f.next; i < f.count; i++, n++) {
            to->handedFrame.moves[n] = f.moves[i];
            to->handedFrame.hash[n] = f.hash[i];
        }
        to->handedFrame.count = n;
        f.count = f.next;
        InterlockedDecrement(&hungryCount);
        InterlockedExchange(&to->state, THREAD_HANDED);
        SetEvent(to->wake);
    }
    LeaveCriticalSection(&workLock);
}

// Waits for work from another thread; false when the stage has ended,
// which it does when no thread has any left.
bool WaitForWork(Searcher& s)
{
    EnterCriticalSection(&workLock);
    if (s.state == THREAD_WORKING) {
        s.state = THREAD_HUNGRY;
        InterlockedIncrement(&hungryCount);
    }
    if (hungryCount == threadsRunning)
        EndStage(STAGE_EXHAUSTED);
    LeaveCriticalSection(&workLock);
    // The first thread keeps asking the caller while it waits, so that the
    // caller still sees progress and can stop the search.
    bool first = &s == &searchers[1];
    while (s.state == THREAD_HUNGRY && !stageEnded)
        if (WaitForSingleObject(s.wake, first ? 50 : INFINITE) == WAIT_TIMEOUT)
            CheckStops(s);
    if (s.state != THREAD_HANDED)
        return false;
    // From the start along the moves handed, to the frame handed.
    Position& p = s.position;
    p = stageStart;
    int k = s.handedDepth;
    for (int j = 1; j < k; j++) {
        s.frames[j].applied = false;
        Apply(p, s.handedPath[j], &s.frames[j].undo);
    }
    SearchFrame& f = s.frames[k];
    std::memcpy(f.moves, s.handedFrame.moves, sizeof f.moves);
    std::memcpy(f.hash, s.handedFrame.hash, sizeof f.hash);
    f.count = s.handedFrame.count;
    f.next = 0;
    f.applied = false;
    f.unstored = 0;
    s.base = k;
    s.state = THREAD_WORKING;
    return true;
}

// The line found, from a thread's path.
void KeepLine(Searcher& s, int d)
{
    for (lineDepth = 0; lineDepth < d; lineDepth++)
        lineMoves[lineDepth + 1] = s.frames[lineDepth + 1].undo.move;
}

// Depth first from the thread's base frame, best moves first, every
// position entered once, until its work is done or the stage ends. A path
// that would go deeper than the frames allow is cut, which makes the answer
// "unknown" rather than "lost".
//
// What the store keeps. The store is only there so that a position is not
// tried twice; a position with at most one move costs less to try again
// than to look up among millions. So, with one free cell, such a position is
// not stored: each time it is reached it is tried again, and its one move
// leads on to where the first time led. Nothing is cut: every position
// reached is still tried, and the search gives the same answer and the same
// line, but a position may count more than once. A path of such positions
// that went round in a circle would never end, so at most UNSTORED_RUN of
// them in a row go unstored; the next is stored, and the circle is seen the
// second time round.

void SearchFrom(Searcher& s)
{
    Position& p = s.position;
    SearchFrame* frames = s.frames;
    int d = s.base;
    while (d >= s.base) {
        if (hungryCount | stageEnded) {
            if (stageEnded)
                return;
            if (++s.sinceHandOver >= 64) {
                s.sinceHandOver = 0;
                HandOverWork(s, d);
            }
        }
        SearchFrame* f = &frames[d];
        if (f->applied) {
            Revert(p, f->undo);
            f->applied = false;
        }
        if (f->next >= f->count) {
            d--;
            continue;
        }
        Move m = f->moves[f->next];
        unsigned long long hash = f->hash[f->next++];
        // With one free cell, taken after the move, the position has a move
        // or two, found at once, and has seldom been seen before, so its
        // moves are found first. Nine in ten such positions have one move
        // or none (one hole, not in column 1: only the card one above the
        // hole's left neighbour can go there), and those are not stored
        // (see above). Otherwise (with more free cells most positions reached
        // have been seen) the move is made only when its position is new.
        int parkedAfter = p.parkedCount + (m.filler != 0) - (m.filler == 0 && p.cellOf[m.card] == 0);
        bool early = d < MAX_SEARCH_DEPTH && cellsEnabled == 1 && parkedAfter == 1;
        int stored;
        if (early) {
            if (!Apply(p, m, &f->undo))
                continue;
            f->applied = true;
            SearchFrame* next = &frames[d + 1];
            Generate(p, next);
            if (next->count <= 1 && f->unstored < UNSTORED_RUN) {
                next->unstored = f->unstored + 1;
                stored = STORE_NEW;
            } else {
                stored = StorePosition(p.key, hash, &s.room);
            }
        } else {
            PositionKey after;
            KeyAfter(p, m, &after);
            stored = StorePosition(after, hash, &s.room);
            if (stored == STORE_NEW) {
                Apply(p, m, &f->undo);
                f->applied = true;
            }
        }
        if (stored == STORE_SEEN)
            continue;
        if (stored == STORE_FULL) {
            EndStage(STOP_MEMORY);
            return;
        }
        if (Won(p)) {
            if (EndStage(STAGE_WON))
                KeepLine(s, d);
            return;
        }
        if (CountPosition(s))
            return;
        if (d == MAX_SEARCH_DEPTH) {
            s.cut = true;
            continue;
        }
        if (!early)
            Generate(p, &frames[d + 1]);
        d++;
    }
}

} // namespace

// A thread's part of a stage: its own work, then what others hand it.
void Work(Searcher& s, bool hasWork)
{
    for (;;) {
        if (hasWork) {
            HoldStore();
            SearchFrom(s);
            CountFresh(s);
            ReleaseStore();
        }
        if (stageEnded || !WaitForWork(s))
            return;
        hasWork = true;
    }
}

// Depth first over every position reachable from the start, on every
// thread; on a win the line is left in lineMoves.
int DepthFirst(long long budget)
{
    Searcher& s = searchers[1];
    StartStage(threadCount, budget);
    s.base = 1;
    s.sinceHandOver = 0;
    Generate(s.position, &s.frames[1]);
    if (!stageEnded)
        Work(s, true);
    int result = StageAnswer();
    NoteMemory(0);
    return result;
}
