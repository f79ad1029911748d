// How long the companion takes to have its answers for a new table: the
// deals of seeds FIRST to LAST with one free cell, played click by click by a
// fixed simple player, and after each click the time from the table seen to
// its verdict and the losing move found, and to the fewest free cells found
// too, as the companion finds them (its verdict's search, then the teacher's).
//
//   teacher_bench [FIRST LAST [--times FILE]]   default 1 1000; a markdown table on stdout
//
// With --times, each deal's clicks go into FILE as the deal ends, and the
// deals FILE already holds are not played again: a run of hours that was
// stopped goes on where it stopped.
//
// The player: the first left click, by card, that leads to a table not seen
// in this game; else the first such park; the game ends when it is won, when
// no click leads anywhere new, or after MOST_CLICKS clicks.
//
// A table's searches stop after WAIT_MOST seconds, as the companion's stop
// at the player's next click: a player who has waited a minute has clicked
// again. Such a click counts as "not in after a minute", and the run ends in
// a known time however hard a table.
#include "game/board.h"
#include "game/deal.h"
#include "game/moves.h"
#include "game/wincheck.h"
#include "hint/teacher.h"
#include "solver/solver.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int MOST_CLICKS = 200;
constexpr double WAIT_MOST = 60;
constexpr double NOT_IN = 1e9;  // the time of an answer not in
constexpr int MOST_TIMES = 1000 * MOST_CLICKS;

// [1]: verdict and losing move, [2]: all answers.
double times[3][MOST_TIMES + 1];
int timeCount = 0;
Table seen[MOST_CLICKS + 2];
int seenCount = 0;
double slowest[3];
unsigned int slowestSeed[3];
int slowestClick[3];
int overSecond[3];
int notIn[3];
double started;
int named = 0;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

int WaitedEnough()
{
    return Now() - started > WAIT_MOST;
}

// The companion's work for the table in the board state: the seconds to the
// verdict and the losing move, then to every answer; NOT_IN for those not in
// after WAIT_MOST seconds.
void Answer(double* lesson, double* all)
{
    started = Now();
    Table table;
    SaveTable(&table);
    TeacherSees(1);
    int answer = KnownLost(1) ? SOLVE_LOST : SolvePosition(1, LLONG_MAX);
    *lesson = *all = NOT_IN;
    if (answer != SOLVE_UNKNOWN || searchStop != STOP_INTERRUPTED) {
        TeacherKnows(1, answer, searchStop, &winningLine[1]);
        if (TeacherWork(1, 0)) {
            *lesson = Now() - started;
            if (TeacherWork(1))
                *all = Now() - started;
        }
    }
    LoadTable(table);
}

void Record(int kind, double t, unsigned int seed, int click)
{
    times[kind][timeCount] = t;
    overSecond[kind] += t > 1.0;
    notIn[kind] += t == NOT_IN;
    if (t > slowest[kind]) {
        slowest[kind] = t;
        slowestSeed[kind] = seed;
        slowestClick[kind] = click;
    }
}

// The times of one click.
void Count(double lesson, double all, unsigned int seed, int click)
{
    if (timeCount < MOST_TIMES) {
        timeCount++;
        Record(1, lesson, seed, click);
        Record(2, all, seed, click);
    }
}

// The deals of seeds first to last in a file of an earlier run, counted;
// the seed to go on from. A deal counts once its "deal" line is there.
unsigned int ReadTimes(const char* path, unsigned int first, unsigned int last)
{
    FILE* in = std::fopen(path, "r");
    if (in == nullptr)
        return first;
    static double lessons[MOST_CLICKS + 1], alls[MOST_CLICKS + 1];
    int clicks = 0, namedHere = 0;
    unsigned int next = first, seed;
    char line[200];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        int click;
        double lesson, all;
        if (std::sscanf(line, "click %u %d %lf %lf", &seed, &click, &lesson, &all) == 4) {
            if (click == 1)  // a deal begun again after a stop
                clicks = namedHere = 0;
            if (click != clicks + 1 || click > MOST_CLICKS)
                continue;
            lessons[++clicks] = lesson;
            alls[clicks] = all;
        } else if (std::sscanf(line, "named %u", &seed) == 1) {
            namedHere = 1;
        } else if (std::sscanf(line, "deal %u", &seed) == 1) {
            if (seed == next && seed <= last) {
                for (int c = 1; c <= clicks; c++)
                    Count(lessons[c], alls[c], seed, c);
                named += namedHere;
                next++;
            }
            clicks = namedHere = 0;
        }
    }
    std::fclose(in);
    return next;
}

void Shown(double t, char* out)
{
    if (t == NOT_IN)
        std::sprintf(out, "over %.0f s", WAIT_MOST);
    else if (t < 10)
        std::sprintf(out, "%.1f ms", t * 1000);
    else
        std::sprintf(out, "%.1f s", t);
}

int Seen(const Table& table)
{
    for (int i = 1; i <= seenCount; i++)
        if (SameTables(seen[i], table))
            return 1;
    return 0;
}

// The player's next click, played; 0 when there is none.
int PlayNext()
{
    Table here, after;
    SaveTable(&here);
    for (int button : { CLICK_LEFT, CLICK_RIGHT }) {
        for (int card = 1; card <= CARD_COUNT; card++) {
            if (ApplyClick(card, button)) {
                SaveTable(&after);
                if (!Seen(after))
                    return 1;
            }
            LoadTable(here);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    unsigned int first = argc > 2 ? (unsigned int)std::atoi(argv[1]) : 1;
    unsigned int last = argc > 2 ? (unsigned int)std::atoi(argv[2]) : 1000;
    searchInterrupted = WaitedEnough;
    FILE* out = nullptr;
    unsigned int from = first;
    if (argc > 4 && std::strcmp(argv[3], "--times") == 0) {
        from = ReadTimes(argv[4], first, last);
        if ((out = std::fopen(argv[4], "a+")) == nullptr) {
            std::fprintf(stderr, "teacher_bench: cannot write %s\n", argv[4]);
            return 2;
        }
        // A run stopped in the middle of a line leaves it unended: the
        // next line must not run on from it.
        int lastChar = std::fseek(out, -1, SEEK_END) == 0 ? std::fgetc(out) : '\n';
        std::fseek(out, 0, SEEK_END);  // from reading to writing
        if (lastChar != '\n')
            std::fputc('\n', out);
    }
    for (unsigned int seed = from; seed <= last; seed++) {
        DealBoard(seed);
        std::memset(freeCells, 0, sizeof freeCells);
        freeUsed = 1;
        freeLimit = 2;
        seenCount = 0;
        SaveTable(&seen[++seenCount]);
        double lesson, all;
        Answer(&lesson, &all);
        int wasNamed = 0;
        for (int click = 1; click <= MOST_CLICKS && !IsSolved() && PlayNext(); click++) {
            SaveTable(&seen[++seenCount]);
            Answer(&lesson, &all);
            freeLimit = 2;
            Count(lesson, all, seed, click);
            if (out != nullptr)
                std::fprintf(out, "click %u %d %.9f %.9f\n", seed, click, lesson, all);
            if (losingNamed && !wasNamed) {
                named++;
                if (out != nullptr)
                    std::fprintf(out, "named %u\n", seed);
            }
            wasNamed = losingNamed;
        }
        if (out != nullptr) {
            std::fprintf(out, "deal %u\n", seed);
            std::fflush(out);
        }
        // A long run shows how far it has come.
        if (seed % 50 == 0)
            std::fprintf(stderr, "teacher_bench: seed %u, %d clicks\n", seed, timeCount);
    }
    if (out != nullptr && std::fclose(out) != 0)
        return 2;
    std::printf("Seeds %u to %u with one free cell: %d clicks, %d losing moves named.\n\n", first, last, timeCount,
                named);
    std::printf("| Answers in | Median | 99th percentile | Slowest | Clicks over 1 s | Not in after %.0f s |\n",
                WAIT_MOST);
    std::printf("|:---|---:|---:|---:|---:|---:|\n");
    const char* const kinds[3] = { "", "verdict and losing move", "verdict, losing move and fewest free cells" };
    for (int kind = 1; kind <= 2; kind++) {
        double* t = times[kind];
        std::sort(t + 1, t + timeCount + 1);
        char median[40], p99[40], most[40];
        Shown(t[std::max(1, (int)(0.5 * timeCount + 0.5))], median);
        Shown(t[std::max(1, (int)(0.99 * timeCount + 0.5))], p99);
        Shown(slowest[kind], most);
        std::printf("| %s | %s | %s | %s (seed %u, click %d) | %d | %d |\n", kinds[kind], median, p99, most,
                    slowestSeed[kind], slowestClick[kind], overSecond[kind], notIn[kind]);
    }
    return 0;
}
