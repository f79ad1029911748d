// How long the companion takes to have its answers for a new table: the
// deals of seeds FIRST to LAST with one free cell, played click by click by a
// fixed simple player, and after each click the time from the table seen to
// its verdict and the losing move found, and to the fewest free cells found
// too, as the companion finds them (its verdict's search, then the teacher's).
//
//   teacher_bench [FIRST LAST]           default 1 1000; a markdown table on stdout
//   teacher_bench FIRST LAST --times F   the times of each click into F instead
//   teacher_bench --merge F...           the table of several such files
//
// Every deal is played on its own, so parts of the seeds can run side by
// side, one a processor, and be merged into the same table.
//
// The player: the first left click, by card, that leads to a table not seen
// in this game; else the first such park; the game ends when it is won, when
// no click leads anywhere new, or after MOST_CLICKS clicks.
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
int named = 0;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

// The companion's work for the table in the board state: the seconds to the
// verdict and the losing move, then to every answer.
void Answer(double* lesson, double* all)
{
    double started = Now();
    Table table;
    SaveTable(&table);
    TeacherSees(1);
    int answer = KnownLost(1) ? SOLVE_LOST : SolvePosition(1, LLONG_MAX);
    TeacherKnows(1, answer, searchStop, &winningLine[1]);
    TeacherWork(1, 0);
    *lesson = Now() - started;
    TeacherWork(1);
    *all = Now() - started;
    LoadTable(table);
}

void Record(int kind, double t, unsigned int seed, int click)
{
    times[kind][timeCount] = t;
    overSecond[kind] += t > 1.0;
    if (t > slowest[kind]) {
        slowest[kind] = t;
        slowestSeed[kind] = seed;
        slowestClick[kind] = click;
    }
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

// The times of one click, each answer's row in the table.
void Count(double lesson, double all, unsigned int seed, int click)
{
    if (timeCount < MOST_TIMES) {
        timeCount++;
        Record(1, lesson, seed, click);
        Record(2, all, seed, click);
    }
}

void PlaySeeds(unsigned int first, unsigned int last, FILE* out)
{
    for (unsigned int seed = first; seed <= last; seed++) {
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
                std::fprintf(out, "%u %d %.9f %.9f\n", seed, click, lesson, all);
            if (losingNamed && !wasNamed) {
                named++;
                if (out != nullptr)
                    std::fprintf(out, "%u named\n", seed);
            }
            wasNamed = losingNamed;
        }
        if (out != nullptr)
            std::fflush(out);
        // A long run shows how far it has come.
        if (seed % 50 == 0)
            std::fprintf(stderr, "teacher_bench: seed %u, %d clicks, slowest %.0f ms\n", seed, timeCount,
                         slowest[2] * 1000);
    }
}

// A file of PlaySeeds' lines read back; its seeds widen first..last.
int ReadTimes(const char* path, unsigned int* first, unsigned int* last)
{
    FILE* in = std::fopen(path, "r");
    if (in == nullptr)
        return 0;
    char line[200];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        unsigned int seed;
        int click;
        double lesson, all;
        if (std::sscanf(line, "%u %d %lf %lf", &seed, &click, &lesson, &all) == 4)
            Count(lesson, all, seed, click);
        else if (std::sscanf(line, "%u", &seed) == 1 && std::strstr(line, "named") != nullptr)
            named++;
        else
            continue;
        *first = std::min(*first, seed);
        *last = std::max(*last, seed);
    }
    std::fclose(in);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    unsigned int first = 1, last = 1000;
    if (argc > 2 && std::strcmp(argv[1], "--merge") == 0) {
        first = UINT_MAX, last = 0;
        for (int i = 2; i < argc; i++)
            if (!ReadTimes(argv[i], &first, &last)) {
                std::fprintf(stderr, "teacher_bench: cannot read %s\n", argv[i]);
                return 2;
            }
    } else {
        if (argc > 2)
            first = (unsigned int)std::atoi(argv[1]), last = (unsigned int)std::atoi(argv[2]);
        FILE* out = nullptr;
        if (argc > 4 && std::strcmp(argv[3], "--times") == 0 && (out = std::fopen(argv[4], "w")) == nullptr) {
            std::fprintf(stderr, "teacher_bench: cannot write %s\n", argv[4]);
            return 2;
        }
        PlaySeeds(first, last, out);
        if (out != nullptr)
            return std::fclose(out) == 0 ? 0 : 2;
    }
    std::printf("Seeds %u to %u with one free cell: %d clicks, %d losing moves named.\n\n", first, last, timeCount,
                named);
    std::printf("| Answers in | Median | 99th percentile | Slowest | Clicks over 1 s |\n");
    std::printf("|:---|---:|---:|---:|---:|\n");
    const char* const kinds[3] = { "", "verdict and losing move", "verdict, losing move and fewest free cells" };
    for (int kind = 1; kind <= 2; kind++) {
        double* t = times[kind];
        std::sort(t + 1, t + timeCount + 1);
        auto at = [t](double share) { return t[std::max(1, (int)(share * timeCount + 0.5))] * 1000; };
        std::printf("| %s | %.1f ms | %.1f ms | %.0f ms (seed %u, click %d) | %d |\n", kinds[kind], at(0.5), at(0.99),
                    slowest[kind] * 1000, slowestSeed[kind], slowestClick[kind], overSecond[kind]);
    }
    return 0;
}
