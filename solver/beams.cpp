// The beam search: of each level (one move deeper) only the positions with
// the most cards in order go on, so it finds wins, never losses. One beam of
// 16,000 positions a level runs after the near best-first search: in the
// table it decides two deals with two free cells (7160 and 7545), which the
// best-first search after it wins only in two and a half times as long
// (12.3 s for the two instead of 5.0 s). Narrower beams of 1,000 and 4,000
// positions before it decided no deal there: what they win the near search
// wins first, in about half the time.
#include "solver/search.h"

#include <algorithm>

namespace {

// A position the beam keeps, the one it came from and the move between.
struct BeamNode {
    PositionKey position;
    int parent;
    Move move;
    short score;
    unsigned tie;
};

// The most levels (moves) a beam goes down. The beams' wins come within
// about 100 moves (on 2,600 deals with two free cells, at most 99); a beam
// still going beyond that wanders among positions it never wins from, and
// the stage after it is the better use of the time.
constexpr int BEAM_LEVELS = 120;

bool Better(const BeamNode& a, const BeamNode& b)
{
    return a.score != b.score ? a.score > b.score : a.tie < b.tie;
}

// A node's position; its score holds its pairs beside its settled cards.
void LoadNode(Position& p, const BeamNode& node)
{
    LoadKey(p, node.position);
    p.pairCount = node.score - 4 * p.settledCount;
}

// Keeps the best width of count candidates.
int Keep(BeamNode* candidates, int count, int width)
{
    if (count <= width)
        return count;
    std::nth_element(candidates, candidates + width, candidates + count, Better);
    return width;
}

// The beam's levels, one after another, and each thread's candidates for
// the next (thread i's from (i - 1) * beamCandidateRoom on). The nodes of
// the level being tried are taken BEAM_CHUNK at a time by every thread;
// the first merges the candidates once all are done with the level. The
// level kept is the best width of all the new positions whichever thread
// found them, so the beam's levels, and its answer, do not depend on the
// number of threads; only which parent a position is found from may.
constexpr int BEAM_CHUNK = 32;
BeamNode* beamNodes = nullptr;
BeamNode* beamCandidates = nullptr;
int beamWidth = 0;
int beamCandidateRoom = 0;
// The level being tried (from 1), its next node not taken and its end.
volatile LONG beamLevel = 0;
volatile LONG beamNext = 0;
LONG beamEnd = 0;
// The node a winning move was found from, and the move.
int beamWinner = -1;
Move beamWinningMove = {};

// Tries every move of the level's nodes this thread takes, keeping the best
// beamWidth of the new positions it finds as its candidates.
void BeamLevel(Searcher& s)
{
    Position& p = s.position;
    BeamNode* candidates = beamCandidates + (long long)(&s - &searchers[1]) * beamCandidateRoom;
    // The moves of the next node are listed before the node's own are tried:
    // the store's places for its positions are then on their way while the
    // node's are looked up. Each node's position is kept aside meanwhile.
    SearchFrame frame[2];
    Position saved[2];
    s.beamCount = 0;
    while (!stageEnded) {
        LONG begin = InterlockedExchangeAdd(&beamNext, BEAM_CHUNK);
        if (begin >= beamEnd)
            break;
        LONG end = std::min(begin + BEAM_CHUNK, beamEnd);
        LoadNode(p, beamNodes[begin]);
        Generate(p, &frame[begin & 1]);
        saved[begin & 1] = p;
        for (int n = begin; n < end && !stageEnded; n++) {
            SearchFrame& f = frame[n & 1];
            if (n + 1 < end) {
                LoadNode(p, beamNodes[n + 1]);
                Generate(p, &frame[(n + 1) & 1]);
                saved[(n + 1) & 1] = p;
            }
            p = saved[n & 1];
            // The moves are never made: the position after each, its score
            // and whether it is won come from the cells it changes.
            for (int i = 0; i < f.count && !stageEnded; i++) {
                PositionKey after;
                int score, child = TryChild(s, p, f, i, &after, &score);
                if (child == CHILD_OLD)
                    continue;
                if (child == CHILD_WON) {
                    if (EndStage(STAGE_WON)) {
                        beamWinner = n;
                        beamWinningMove = f.moves[i];
                    }
                    break;
                }
                unsigned long long mix = (after.word[0] ^ after.word[1] * 0x9E3779B97F4A7C15ull ^ after.word[2]) *
                                         0xC2B2AE3D27D4EB4Full;
                candidates[s.beamCount++] = BeamNode{ after, n, f.moves[i], (short)score, (unsigned)(mix >> 32) };
                if (s.beamCount == beamCandidateRoom)
                    s.beamCount = Keep(candidates, s.beamCount, beamWidth);
                if (CountPosition(s))
                    break;
            }
        }
    }
    s.beamCount = Keep(candidates, s.beamCount, beamWidth);
}

} // namespace

// A thread's part of a beam stage: each level as it comes.
void BeamWork(Searcher& s)
{
    HoldStore();
    while (!stageEnded) {
        LONG level = beamLevel;
        if (level != s.beamDone) {
            BeamLevel(s);
            InterlockedExchange(&s.beamDone, level);
            continue;
        }
        ReleaseStore();
        WaitForSingleObject(s.wake, INFINITE);
        HoldStore();
    }
    CountFresh(s);
    InterlockedExchange(&s.beamDone, beamLevel);
    ReleaseStore();
}

// Beam search: from each level of at most width positions, every move; the
// best width of the new positions make the next level. It finds wins, never
// losses: a beam that runs dry has dropped positions it did not try.
int BeamSearch(int width, long long budget)
{
    int threads = threadCount;
    int candidateRoom = 4 * width;
    unsigned long long candidateBytes = (unsigned long long)candidateRoom * threads * sizeof(BeamNode);
    unsigned long long wanted = (unsigned long long)width * BEAM_LEVELS * sizeof(BeamNode) + candidateBytes;
    unsigned long long room = std::min(wanted, storeLimit / 4);
    long long nodeRoom = (long long)((room - std::min(room, candidateBytes)) / sizeof(BeamNode));
    unsigned char* arena = nullptr;
    if (nodeRoom > width && (SIZE_T)room == room)
        arena = NodeRegion(room);
    if (!arena || !VirtualAlloc(arena, (SIZE_T)candidateBytes, MEM_COMMIT, PAGE_READWRITE)) {
        searchStop = STOP_MEMORY;
        return SOLVE_UNKNOWN;
    }
    beamCandidates = (BeamNode*)arena;
    beamNodes = beamCandidates + (long long)candidateRoom * threads;
    beamWidth = width;
    beamCandidateRoom = candidateRoom;
    unsigned long long fullLimit = storeLimit;
    storeLimit -= room;

    Searcher& s = searchers[1];
    Position& p = s.position;
    StartStage(threads, budget);
    int result = SOLVE_UNKNOWN, stop = STOP_NONE;
    VirtualAlloc(beamNodes, sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
    beamNodes[0] = BeamNode{ p.key, -1, Move{}, (short)Score(p), 0 };
    LONG levelBegin = 0, levelEnd = 1;
    unsigned long long committed = candidateBytes + sizeof(BeamNode);
    beamWinner = -1;
    beamLevel = 0;
    for (int i = 1; i <= MAX_THREADS; i++)
        searchers[i].beamDone = 0;
    beamStage = true;
    HoldStore();
    while (levelBegin < levelEnd && !stageEnded) {
        beamNext = levelBegin;
        beamEnd = levelEnd;
        LONG level = InterlockedIncrement(&beamLevel);
        for (int i = 2; i <= threadsRunning; i++)
            SetEvent(searchers[i].wake);
        BeamLevel(s);
        // The others' candidates, once they are done with the level.
        int count = s.beamCount;
        for (int i = 2; i <= threadsRunning; i++) {
            Searcher& t = searchers[i];
            while (t.beamDone != level) {
                ReleaseStore();
                Sleep(0);
                HoldStore();
            }
            BeamNode* theirs = beamCandidates + (long long)(i - 1) * candidateRoom;
            for (int j = 0; j < t.beamCount; j++) {
                beamCandidates[count++] = theirs[j];
                if (count == candidateRoom)
                    count = Keep(beamCandidates, count, width);
            }
        }
        count = Keep(beamCandidates, count, width);
        if (stageEnded)
            break;
        if (levelEnd + count > nodeRoom || level >= BEAM_LEVELS) {
            stop = count > 0 ? STOP_DEPTH : STOP_NONE;
            break;
        }
        VirtualAlloc(beamNodes + levelEnd, (SIZE_T)count * sizeof(BeamNode), MEM_COMMIT, PAGE_READWRITE);
        committed += (unsigned long long)count * sizeof(BeamNode);
        std::copy(beamCandidates, beamCandidates + count, beamNodes + levelEnd);
        levelBegin = levelEnd;
        levelEnd += count;
    }
    ReleaseStore();
    LONG why = stageEnded;
    EndStage(STAGE_EXHAUSTED);
    JoinThreads();
    beamStage = false;
    if (why == STAGE_WON) {
        int d = 0;
        for (int n = beamWinner; n > 0; n = beamNodes[n].parent)
            d++;
        lineDepth = d + 1;
        lineMoves[lineDepth] = beamWinningMove;
        for (int n = beamWinner; n > 0; n = beamNodes[n].parent)
            lineMoves[d--] = beamNodes[n].move;
        result = SOLVE_WON;
    } else if (why != 0) {
        stop = why;
    }
    CountFresh(s);
    NoteMemory(committed);
    LeaveNodeRegion(committed);
    storeLimit = fullLimit;
    beamNodes = beamCandidates = nullptr;
    searchStop = result == SOLVE_WON ? STOP_NONE : stop != STOP_NONE ? stop : STOP_DEPTH;
    return result;
}

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
// Threads. Each thread keeps the nodes it finds apart, under a lock of its
