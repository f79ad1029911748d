// The teacher keeps the tables of the game since the last one known to be
// winnable (the trail), with the click that led to each. With the free cells
// fixed a lost table never becomes winnable again by clicks, so along the
// trail the winnable tables come first and the lost ones after: the click
// between the last winnable table and the first lost one lost the game.
#include "hint/teacher.h"
#include "game/moves.h"
#include "solver/words.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <cstring>

int fewestState = FEWEST_NONE;
int fewestCells = 0;
int losingNamed = 0;
int losingMove = 0;
int movesSeen = 0;
LineClick losingClick = {};
LineClick losingAlternative = {};
char losingItalian[3][120];
char losingEnglish[3][120];
long long teacherBudget = LLONG_MAX;

namespace {

// The tables since the last one known to be winnable, in the order played:
// trail[1..trailLength], trailClicks[i] the click from trail[i - 1] to
// trail[i]. A player makes a few clicks between two looks at most, so the
// trail is short unless searches keep being interrupted; past its size it
// starts again from the newest table, and a losing move inside it is missed.
constexpr int TRAIL_SIZE = 64;
Table trail[TRAIL_SIZE + 1];
LineClick trailClicks[TRAIL_SIZE + 1];
int trailMoves[TRAIL_SIZE + 1];  // the moves of the game up to each table
int trailLength = 0;

// Answers already found, each for a table and a number of free cells: the
// table before a click is usually decided when the next one comes.
struct Decision {
    Table table;
    int cells;
    int answer;
    LineClick first;
};
constexpr int DECISIONS = 128;
Decision decisions[DECISIONS + 1];
int decisionsKept = 0;
int nextDecision = 1;

// The most free cells with which a table of this game up to the one now seen
// was proved lost. A lost table stays lost whatever is clicked, so every
// table after it is lost with as many cells, and is not searched again.
int lostWith = 0;

// The run ConnectTables is looking for.
Table connectGoal;
LineClick connectPath[MAX_CLICKS_BETWEEN + 1];

void Remember(const Table& table, int cells, int answer, const LineClick* first)
{
    Decision& d = decisions[nextDecision];
    d.table = table;
    d.cells = cells;
    d.answer = answer;
    d.first = answer == SOLVE_WON && first ? *first : LineClick{};
    nextDecision = nextDecision % DECISIONS + 1;
    if (decisionsKept < DECISIONS)
        decisionsKept++;
}

// The answer for a table with the given free cells, searched once. Returns 0
// when the search was interrupted: there is no answer yet.
int Decide(const Table& table, int cells, int* answer, LineClick* first)
{
    if (SameTables(table, trail[trailLength]) && cells <= lostWith) {
        *answer = SOLVE_LOST;
        *first = {};
        return 1;
    }
    for (int i = 1; i <= decisionsKept; i++) {
        if (decisions[i].cells == cells && SameTables(decisions[i].table, table)) {
            *answer = decisions[i].answer;
            *first = decisions[i].first;
            return 1;
        }
    }
    LoadTable(table);
    *answer = SolvePosition(cells, teacherBudget);
    if (*answer == SOLVE_UNKNOWN && searchStop == STOP_INTERRUPTED)
        return 0;
    *first = *answer == SOLVE_WON ? winningLine[1] : LineClick{};
    Remember(table, cells, *answer, first);
    if (*answer == SOLVE_LOST)  // every table decided is the one now seen or one before it
        lostWith = std::max(lostWith, cells);
    return 1;
}

// Cards not yet where the goal has them: each click moves one card, so at
// least this many clicks are still needed.
int ClicksStillNeeded()
{
    int needed = 0;
    for (int c = 1; c <= BOARD_COLUMNS; c++)
        for (int r = 1; r <= BOARD_ROWS; r++)
            needed += connectGoal.board[c][r] != CELL_EMPTY && board[c][r] != connectGoal.board[c][r];
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        needed += connectGoal.cells[i] != 0 && freeCells[i] != connectGoal.cells[i];
    return needed;
}

// Depth-first to at most limit clicks, never deeper than the cards still
// out of place allow: the length of the run found, or -1.
int ConnectFrom(int depth, int limit)
{
    int needed = ClicksStillNeeded();
    if (needed == 0)
        return depth;
    if (depth + needed > limit)
        return -1;
    Table here;
    SaveTable(&here);
    for (int card = 1; card <= CARD_COUNT; card++) {
        for (int button : { CLICK_LEFT, CLICK_RIGHT }) {
            if (!ApplyClick(card, button))
                continue;
            connectPath[depth + 1] = { card, button };
            int found = ConnectFrom(depth + 1, limit);
            LoadTable(here);
            if (found >= 0)
                return found;
        }
    }
    return -1;
}

// From here on only the newest table can be where a game is lost.
void KeepNewestOnly()
{
    if (trailLength > 1) {
        trail[1] = trail[trailLength];
        trailMoves[1] = trailMoves[trailLength];
        trailLength = 1;
    }
}

void NameLosingMove(const Table& before, const LineClick& click, const LineClick& alternative, int number)
{
    losingMove = number;
    LoadTable(before);  // the places as they were before the click
    DescribeClick(click.card, click.button, losingItalian[1], losingEnglish[1], sizeof losingItalian[1]);
    DescribeClick(alternative.card, alternative.button, losingItalian[2], losingEnglish[2],
                  sizeof losingItalian[2]);
    losingClick = click;
    losingAlternative = alternative;
    losingNamed = 1;
}

// Decides the trail from its oldest table on, up to the first lost one.
int FindLosingMove(int cells)
{
    int before = SOLVE_INVALID;
    LineClick beforeFirst = {};
    for (int i = 1; i <= trailLength; i++) {
        int answer;
        LineClick first;
        if (!Decide(trail[i], cells, &answer, &first))
            return 0;
        if (answer == SOLVE_LOST) {
            // An undecided table just before names nothing rather than a guess.
            if (i > 1 && before == SOLVE_WON)
                NameLosingMove(trail[i - 1], trailClicks[i], beforeFirst, trailMoves[i]);
            break;
        }
        before = answer;
        beforeFirst = first;
    }
    KeepNewestOnly();
    return 1;
}

// The free cells the game could still be raised to, tried from the next one up.
int FindFewestCells(int cells)
{
    fewestState = FEWEST_NONE;
    for (int more = cells + 1; more <= FREE_CELL_COUNT; more++) {
        int answer;
        LineClick first;
        fewestState = FEWEST_SEARCHING;
        fewestCells = more;
        if (!Decide(trail[trailLength], more, &answer, &first))
            return 0;
        if (answer == SOLVE_WON) {
            fewestState = FEWEST_WINS;
            return 1;
        }
        if (answer != SOLVE_LOST) {
            fewestState = FEWEST_UNDECIDED;
            return 1;
        }
        fewestState = FEWEST_NEVER;
    }
    return 1;
}

} // namespace

void LoadTable(const Table& table)
{
    std::memcpy(board, table.board, sizeof board);
    std::memcpy(freeCells, table.cells, sizeof freeCells);
    freeUsed = 1;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        freeUsed += freeCells[i] != 0;
}

void SaveTable(Table* table)
{
    std::memcpy(table->board, board, sizeof board);
    std::memcpy(table->cells, freeCells, sizeof freeCells);
}

int SameTables(const Table& one, const Table& other)
{
    return std::memcmp(&one, &other, sizeof one) == 0;
}

int ConnectTables(const Table& from, const Table& to, int cells, LineClick clicks[MAX_CLICKS_BETWEEN + 1])
{
    Table saved;
    SaveTable(&saved);
    int savedLimit = freeLimit;
    freeLimit = cells + 1;
    connectGoal = to;
    int found = -1;
    for (int limit = 0; limit <= MAX_CLICKS_BETWEEN && found < 0; limit++) {
        LoadTable(from);
        found = ConnectFrom(0, limit);
    }
    for (int i = 1; i <= found; i++)
        clicks[i] = connectPath[i];
    freeLimit = savedLimit;
    LoadTable(saved);
    return found;
}

int TeacherSees(int cells)
{
    Table now;
    SaveTable(&now);
    if (trailLength > 0 && SameTables(trail[trailLength], now))
        return 1;
    LineClick clicks[MAX_CLICKS_BETWEEN + 1];
    int count = trailLength > 0 ? ConnectTables(trail[trailLength], now, cells, clicks) : -1;
    fewestState = FEWEST_NONE;
    if (count < 0) {
        trail[1] = now;
        trailLength = 1;
        trailMoves[1] = movesSeen = 0;
        losingNamed = 0;
        losingMove = 0;
        lostWith = 0;
        // No table of the last game comes again; the answers are kept from
        // the first place on, where Decide looks for them.
        decisionsKept = 0;
        nextDecision = 1;
        return 0;
    }
    movesSeen += count;
    if (trailLength + count > TRAIL_SIZE) {
        trail[1] = now;
        trailMoves[1] = movesSeen;
        trailLength = 1;
        return 1;
    }
    // The tables between, each one click further.
    int savedLimit = freeLimit;
    freeLimit = cells + 1;
    LoadTable(trail[trailLength]);
    for (int i = 1; i <= count; i++) {
        ApplyClick(clicks[i].card, clicks[i].button);
        trailLength++;
        SaveTable(&trail[trailLength]);
        trailMoves[trailLength] = movesSeen - count + i;
        trailClicks[trailLength] = clicks[i];
    }
    freeLimit = savedLimit;
    LoadTable(now);
    return 1;
}

void TeacherKnows(int cells, int answer, int stop, const LineClick* first)
{
    if (trailLength == 0 || (answer == SOLVE_UNKNOWN && stop == STOP_INTERRUPTED))
        return;
    Remember(trail[trailLength], cells, answer, first);
    if (answer == SOLVE_LOST)
        lostWith = std::max(lostWith, cells);
}

int KnownLost(int cells)
{
    return trailLength > 0 && cells <= lostWith;
}

int TeacherWork(int cells, int fewestToo)
{
    if (trailLength == 0)
        return 1;
    Table now = trail[trailLength];
    int answer, done = 1;
    LineClick first;
    if (!Decide(now, cells, &answer, &first)) {
        done = 0;
    } else if (answer == SOLVE_WON) {
        fewestState = FEWEST_NONE;
        KeepNewestOnly();
    } else if (answer == SOLVE_LOST) {
        done = FindLosingMove(cells) && (!fewestToo || FindFewestCells(cells));
    }
    LoadTable(now);
    return done;
}
