// orv2000-solve: decides deals and positions from the command line.
//
//   orv2000-solve --seed N [--cells K] [--budget POSITIONS]
//       the deal of seed N: the answer, and the winning line click by click
//   orv2000-solve --seeds FIRST LAST [--cells K] [--budget POSITIONS]
//       one tab-separated line per deal: seed, cells, answer, positions,
//       milliseconds, clicks, kilobytes of memory the search held at most
//   orv2000-solve --position FILE [--cells K] [--budget POSITIONS]
//       a position: the 40 grid cells row by row (0 for a hole), then the
//       parked cards
//   orv2000-solve --game [--cells K] [--budget POSITIONS]
//       the table of the running game, with the free cells it has enabled
//       unless K is given
// Each also takes --memory MEGABYTES (the most the search may hold; by
// default a third of the memory free, three quarters with --layers, a long
// job of its own whose biggest layer must fit), --threads N (by default one a
// processor; with one, the positions and lines are the same on every run)
// --plain (no pruning of parks), --rows (only the search with the suits'
// rows fixed, which finds wins, never losses) and --layers FOLDER (only the
// search layer by layer, which tries every position with files in FOLDER,
// made if missing, and proves losses, never wins; no budget unless given);
// --seconds S stops any search after S seconds, its answer unknown.
// --searches adds which search gave each answer (a last column with
// --seeds); --leave-out NAME runs the others without that one (the names
// are in solver.h).
// Exit code: 0 won, 1 lost, 2 unknown, 3 bad arguments or position.
#include "game/board.h"
#include "game/deal.h"
#include "hint/gamewindow.h"
#include "solver/solver.h"
#include "solver/store.h"
#include "solver/words.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int searches = 0;  // --searches: which search gave each answer
const char* const answerWords[4] = { "invalid", "won", "lost", "unknown" };
const char* const stopWords[9] = { "", "the budget ran out", "the memory ran out", "the time ran out",
                                   "the search could not go on", "the search was interrupted",
                                   "a won position was reached (this search keeps no line)",
                                   "a file of the layers could not be written or read",
                                   "a move went back to an earlier layer" };

void ClearTable()
{
    for (int c = 0; c <= BOARD_COLUMNS; c++)
        for (int r = 0; r <= BOARD_ROWS; r++)
            board[c][r] = 0;
    for (int i = 0; i <= FREE_CELL_COUNT; i++)
        freeCells[i] = 0;
}

int ReadPosition(const char* path)
{
    FILE* file = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "r");
    if (!file)
        return 0;
    ClearTable();
    int ok = 1;
    for (int i = 0; i < BOARD_ROWS * BOARD_COLUMNS && ok; i++) {
        int v;
        if (std::fscanf(file, "%d", &v) != 1 || v < 0 || v > CARD_COUNT)
            ok = 0;
        else
            board[i % BOARD_COLUMNS + 1][i / BOARD_COLUMNS + 1] = v == 0 ? CELL_EMPTY : v;
    }
    int v, cell = 1;
    while (ok && std::fscanf(file, "%d", &v) == 1) {
        if (cell > FREE_CELL_COUNT || v < 1 || v > CARD_COUNT)
            ok = 0;
        else
            freeCells[cell++] = v;
    }
    if (file != stdin)
        std::fclose(file);
    return ok;
}

void PrintLine()
{
    char italian[120], english[120];
    for (int i = 1; i <= winningLength; i++) {
        const LineClick& click = winningLine[i];
        DescribeClick(click.card, click.button, italian, english, sizeof italian);
        std::printf("%4d. %s | %s\n", i, italian, english);
        // Play the click on the board so the next one is described where
        // its card is then.
        ApplyClick(click.card, click.button);
    }
}

void Report(int answer, int cells)
{
    double rate = searchSeconds > 0 ? positionsSearched / searchSeconds : 0;
    std::printf("%s with %d free cell%s: %lld positions in %.3f s (%.0f per second)\n", answerWords[answer], cells,
                cells == 1 ? "" : "s", positionsSearched, searchSeconds, rate);
    if (answer == SOLVE_UNKNOWN)
        std::printf("undecided: %s\n", stopWords[searchStop]);
    else if (searches)
        std::printf("decided by: %s\n", searchDecider);
    if (answer == SOLVE_WON) {
        std::printf("winning line, %d clicks:\n", winningLength);
        freeLimit = cells + 1;
        freeUsed = 1;
        for (int i = 1; i <= FREE_CELL_COUNT; i++)
            if (freeCells[i])
                freeUsed++;
        PrintLine();
    }
}

int ExitCode(int answer)
{
    return answer == SOLVE_WON ? 0 : answer == SOLVE_LOST ? 1 : answer == SOLVE_UNKNOWN ? 2 : 3;
}

int Usage()
{
    std::fprintf(stderr, "usage: orv2000-solve --seed N | --seeds FIRST LAST | --position FILE | --game"
                         " [--cells 1-4] [--budget POSITIONS] [--memory MEGABYTES] [--threads N] [--plain] [--rows]"
                         " [--layers FOLDER] [--seconds S] [--searches] [--leave-out NAME]\n");
    return 3;
}

} // namespace

int main(int argc, char** argv)
{
    long long budget = 0;  // 0: not given
    long long megabytes = 0;  // 0: not given
    int cells = 0;  // 0: not given
    unsigned long first = 0, last = 0;
    const char* positionFile = nullptr;
    int mode = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            mode = 1;
            first = last = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--seeds") == 0 && i + 2 < argc) {
            mode = 2;
            first = std::strtoul(argv[++i], nullptr, 10);
            last = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--position") == 0 && i + 1 < argc) {
            mode = 3;
            positionFile = argv[++i];
        } else if (std::strcmp(argv[i], "--game") == 0) {
            mode = 4;
        } else if (std::strcmp(argv[i], "--cells") == 0 && i + 1 < argc) {
            cells = std::atoi(argv[++i]);
            if (cells == 0)
                return Usage();
        } else if (std::strcmp(argv[i], "--budget") == 0 && i + 1 < argc) {
            budget = std::atoll(argv[++i]);
            if (budget < 1)
                return Usage();
        } else if (std::strcmp(argv[i], "--memory") == 0 && i + 1 < argc) {
            megabytes = std::atoll(argv[++i]);
            if (megabytes < 1)
                return Usage();
        } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            searchThreads = std::atoi(argv[++i]);
            if (searchThreads < 1 || searchThreads > 64)
                return Usage();
        } else if (std::strcmp(argv[i], "--rows") == 0) {
            searchRowsFixed = 1;
        } else if (std::strcmp(argv[i], "--plain") == 0) {
            searchPlain = 1;
        } else if (std::strcmp(argv[i], "--layers") == 0 && i + 1 < argc) {
            searchLayers = argv[++i];
        } else if (std::strcmp(argv[i], "--searches") == 0) {
            searches = 1;
        } else if (std::strcmp(argv[i], "--leave-out") == 0 && i + 1 < argc) {
            searchLeftOut = argv[++i];
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            searchTimeLimit = std::atof(argv[++i]);
            if (!(searchTimeLimit > 0))
                return Usage();
        } else {
            return Usage();
        }
    }
    // The layers' argument rests on the pruned moves; the rows fixed are
    // another search.
    if (mode == 0 || cells < 0 || cells > FREE_CELL_COUNT || first > last ||
        (searchLayers && (searchPlain || searchRowsFixed)))
        return Usage();
    if (budget == 0)
        budget = searchLayers ? LLONG_MAX : DEFAULT_BUDGET;
    if (searchLayers)
        CreateDirectoryA(searchLayers, nullptr);
    unsigned long long limit = searchLayers ? FreeMemoryForSearch(3, 4) : FreeMemoryForSearch();
    if (!SetStoreLimit(megabytes ? (unsigned long long)megabytes << 20 : limit)) {
        std::fprintf(stderr, "orv2000-solve: %lld MB asked for the search; this machine does not have them free\n",
                     megabytes);
        return 3;
    }
    if (mode == 4) {
        HWND game = FindGameWindow();
        if (!ReadGameTable(game)) {
            std::fprintf(stderr, "orv2000-solve: no game running, or its cards cannot be read\n");
            return 3;
        }
        if (cells == 0)
            cells = ReadFreeCellsEnabled(game);
        mode = 3;
    }
    if (cells == 0)
        cells = 1;

    if (mode == 3) {
        if (positionFile && !ReadPosition(positionFile)) {
            std::fprintf(stderr, "orv2000-solve: cannot read a position from %s\n", positionFile);
            return 3;
        }
        int answer = SolvePosition(cells, budget);
        if (answer == SOLVE_INVALID) {
            std::fprintf(stderr, "orv2000-solve: not a position of the game with %d free cell%s\n", cells,
                         cells == 1 ? "" : "s");
            return 3;
        }
        Report(answer, cells);
        return ExitCode(answer);
    }
    if (mode == 1) {
        ClearTable();
        DealBoard((unsigned int)first);
        int answer = SolvePosition(cells, budget);
        std::printf("seed %lu: ", first);
        Report(answer, cells);
        return ExitCode(answer);
    }
    // A run of deals writes the memory its searches keep before the first
    // deal's clock starts, as the companion does while the player thinks.
    if (!searchLayers)
        WarmSearchMemory(~0ull);
    for (unsigned long seed = first;; seed++) {
        ClearTable();
        DealBoard((unsigned int)seed);
        int answer = SolvePosition(cells, budget);
        std::printf("%lu\t%d\t%s\t%lld\t%.1f\t%d\t%llu%s%s\n", seed, cells, answerWords[answer], positionsSearched,
                    searchSeconds * 1000, winningLength, searchMemory >> 10, searches ? "\t" : "",
                    searches ? (*searchDecider ? searchDecider : "-") : "");
        std::fflush(stdout);
        if (seed == last)
            break;
    }
    return 0;
}
