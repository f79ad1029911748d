// The threads of a search and the stages they run.
//
// Threads. Every search runs on every processor (searchThreads), its
// threads sharing one store: the depth-first search hands out the untried
// moves of its path, the beams the nodes of each level; in the best-first
// search each thread keeps the positions it found waiting, and takes
// another's when it has none or theirs are much better. The answer never
// depends on the number of threads.
#include "solver/search.h"

#include <algorithm>

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

double searchStarted = 0;

Searcher searchers[MAX_THREADS + 1];
// The threads a search may use, those of the stage running (the beams use
// one), and those started.
int threadCount = 1;
int stageThreads = 1;
volatile LONG threadsRunning = 1;
// Threads waiting for work; nonzero makes the others look for some to hand.
volatile LONG hungryCount = 0;
// Nonzero once the stage has ended: a STOP_ reason, STAGE_WON or
// STAGE_EXHAUSTED. The first to end it says why.
volatile LONG stageEnded = 0;
// Positions of the stage counted so far, and the most it may reach.
volatile LONG64 stageReached = 0;
long long stageBudget = 0;
Position stageStart;
CRITICAL_SECTION workLock;

bool EndStage(LONG why)
{
    if (InterlockedCompareExchange(&stageEnded, why, 0) != 0)
        return false;
    for (int i = 1; i <= threadsRunning; i++)
        if (searchers[i].wake)
            SetEvent(searchers[i].wake);
    return true;
}

void CountFresh(Searcher& s)
{
    if (s.fresh != 0) {
        InterlockedExchangeAdd64(&stageReached, s.fresh);
        InterlockedExchangeAdd64((volatile LONG64*)&positionsSearched, s.fresh);
        s.fresh = 0;
    }
}

bool TakeFrames(Searcher& s)
{
    if (!s.frames)
        s.frames = (SearchFrame*)VirtualAlloc(nullptr, sizeof(SearchFrame) * (MAX_SEARCH_DEPTH + 1),
                                              MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!s.wake)
        s.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return s.frames && s.wake;
}

// The kind of stage running: its threads start in its own loop.
bool bestStage = false;
bool beamStage = false;

DWORD WINAPI ThreadMain(void* searcher)
{
    if (bestStage)
        BestWork(*(Searcher*)searcher);
    else if (beamStage)
        BeamWork(*(Searcher*)searcher);
    else
        Work(*(Searcher*)searcher, false);
    return 0;
}


// The other threads, waiting for work from the first.
void StartThreads()
{
    EnterCriticalSection(&workLock);
    for (int i = threadsRunning + 1; i <= stageThreads; i++) {
        Searcher& s = searchers[i];
        if (!TakeFrames(s))
            break;
        s.state = THREAD_HUNGRY;
        s.cut = false;
        s.fresh = 0;
        s.room = 0;
        InterlockedIncrement(&hungryCount);
        InterlockedIncrement(&threadsRunning);
        s.thread = CreateThread(nullptr, 0, ThreadMain, &s, 0, nullptr);
        if (!s.thread) {
            InterlockedDecrement(&hungryCount);
            InterlockedDecrement(&threadsRunning);
            break;
        }
    }
    stageThreads = threadsRunning;
    LeaveCriticalSection(&workLock);
}

void JoinThreads()
{
    for (int i = 2; i <= threadsRunning; i++) {
        WaitForSingleObject(searchers[i].thread, INFINITE);
        CloseHandle(searchers[i].thread);
        searchers[i].thread = nullptr;
    }
    threadsRunning = 1;
}

// The time limit, and the caller's hook, asked in the first thread only:
// the thread it called.
void CheckStops(Searcher& s)
{
    if (searchTimeLimit > 0 && Seconds() - searchStarted > searchTimeLimit)
        EndStage(STOP_TIME);
    if (&s == &searchers[1] && searchInterrupted && searchInterrupted())
        EndStage(STOP_INTERRUPTED);
}

// A stop that ends the whole search, not only one stage of it.
bool StopsAll(int stop)
{
    return stop == STOP_TIME || stop == STOP_INTERRUPTED;
}

// The next stage of a search runs while it is undecided, nothing has
// stopped it for good and budget is left.
bool GoesOn(int result, long long budget)
{
    return result == SOLVE_UNKNOWN && !StopsAll(searchStop) && positionsSearched < budget;
}

void NoteMemory(unsigned long long other)
{
    if (storePeak + other > searchMemory)
        searchMemory = storePeak + other;
}

// The nodes of the beams and the best-first searches lie in one region of
// address space, kept from stage to stage and from search to search, so
// that a stage writes into memory one before it wrote rather than into
// memory the system has to give anew (as the store does). As a search ends
// it gives back what it wrote beyond a thirty-second of the limit, at most
// 64 MB, about what the nodes of a search of a few seconds take.
constexpr unsigned long long NODES_KEPT_MOST = 64ull << 20;
unsigned char* nodeRegion = nullptr;
unsigned long long nodeRegionBytes = 0;
unsigned long long nodeRegionWritten = 0;

// A region of at least room bytes, the one kept if it is large enough;
// null if the address space has none.
unsigned char* NodeRegion(unsigned long long room)
{
    if (nodeRegion && nodeRegionBytes >= room)
        return nodeRegion;
    if (nodeRegion)
        VirtualFree(nodeRegion, 0, MEM_RELEASE);
    nodeRegion = (unsigned char*)VirtualAlloc(nullptr, (SIZE_T)room, MEM_RESERVE, PAGE_READWRITE);
    nodeRegionBytes = nodeRegion ? room : 0;
    nodeRegionWritten = 0;
    return nodeRegion;
}

// A stage is done with the region, having committed this much of it.
void LeaveNodeRegion(unsigned long long committed)
{
    nodeRegionWritten = std::max(nodeRegionWritten, committed);
}

// The nodes take a quarter of the memory, about what they need beside a
// store holding as many positions.
unsigned long long NodeRoom()
{
    unsigned long long room = storeLimit / 4;
    return (SIZE_T)room == room ? room : (SIZE_T)-1 / 2;
}

unsigned long long NodesKept()
{
    return std::min(NODES_KEPT_MOST, storeLimit / 32) & ~4095ull;
}

void ShrinkNodeRegion()
{
    unsigned long long kept = NodesKept();
    if (nodeRegion && nodeRegionWritten > kept) {
        VirtualFree(nodeRegion + kept, (SIZE_T)(nodeRegionWritten - kept), MEM_DECOMMIT);
        nodeRegionWritten = kept;
    }
}

// Starts a stage of the search from the start position, which counts as
// reached, for this many threads.
void StartStage(int threads, long long budget)
{
    Position& p = searchers[1].position;
    LoadBoard(p);
    stageStart = p;
    stageThreads = threads;
    ClearStore(threads);
    StorePosition(p.key);
    positionsSearched++;
    stageReached = 1;
    stageBudget = budget;
    stageEnded = 0;
    hungryCount = 0;
    threadsRunning = 1;
    for (int i = 1; i <= MAX_THREADS; i++)
        searchers[i].cut = false;
    searchers[1].fresh = 0;
    searchers[1].room = 0;
    searchers[1].state = THREAD_WORKING;
    if (stageReached >= budget)
        EndStage(STOP_BUDGET);
}

// Once the first thread is done with a stage: the others joined, the
// answer, and searchStop. Every position tried is "lost" unless a path was
// cut short.
int StageAnswer()
{
    JoinThreads();
    bool cut = false;
    for (int i = 1; i <= MAX_THREADS; i++)
        cut = cut || searchers[i].cut;
    LONG why = stageEnded;
    if (why == STAGE_WON) {
        searchStop = STOP_NONE;
        return SOLVE_WON;
    }
    searchStop = why != STAGE_EXHAUSTED ? why : cut ? STOP_DEPTH : STOP_NONE;
    return searchStop == STOP_NONE ? SOLVE_LOST : SOLVE_UNKNOWN;
}

bool SetUpThreads()
{
    static bool threadsReady = false;
    if (!threadsReady) {
        // Held for a few hundred instructions at a time: a thread that
        // finds one taken spins rather than sleeps.
        InitializeCriticalSectionAndSpinCount(&workLock, 4000);
        SetUpBestFirst();
        threadsReady = true;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    threadCount = searchThreads > 0 ? searchThreads : (int)system.dwNumberOfProcessors;
    threadCount = std::max(1, std::min(threadCount, MAX_THREADS));
    return TakeFrames(searchers[1]);
}
