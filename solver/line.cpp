// The line a search found: made shorter, written as the game's clicks, and
// played through the game's own rules before it is believed.
#include "solver/search.h"
#include "game/wincheck.h"

#include <cstring>

Move lineMoves[MAX_SEARCH_DEPTH + 1];
int lineDepth = 0;

namespace {

// The positions along the line.
PositionKey along[MAX_SEARCH_DEPTH + 1];

// The positions along the line, found by key: alongIndex holds d + 1 for
// position d, 0 for an empty slot. A line never passes a position twice.
constexpr int ALONG_BITS = 16;
int alongIndex[1 << ALONG_BITS];

unsigned AlongSlot(const PositionKey& p)
{
    unsigned long long h = (p.word[0] ^ p.word[1] * 0x9E3779B97F4A7C15ull ^ p.word[2] * 0xC2B2AE3D27D4EB4Full ^
                            p.word[3]) * 0x165667B19E3779F9ull;
    return (unsigned)(h >> (64 - ALONG_BITS));
}

// The step of the line at this position, or -1.
int FindAlong(const PositionKey& p)
{
    for (unsigned i = AlongSlot(p);; i = (i + 1) & ((1u << ALONG_BITS) - 1)) {
        if (alongIndex[i] == 0)
            return -1;
        if (SameKey(along[alongIndex[i] - 1], p))
            return alongIndex[i] - 1;
    }
}

// The position the search started from, put back after it.
int startBoard[BOARD_COLUMNS + 1][BOARD_ROWS + 1];
int startCells[FREE_CELL_COUNT + 1];

} // namespace

// Where a later position of the line can be reached from an earlier one in
// a single move, the moves in between are dropped.
void ShortenLine()
{
    Position& p = searchers[1].position;
    std::memset(alongIndex, 0, sizeof alongIndex);
    LoadBoard(p);
    Undo u = {};
    for (int d = 0; d <= lineDepth; d++) {
        if (d > 0)
            Apply(p, lineMoves[d], &u);
        along[d] = p.key;
        unsigned i = AlongSlot(p.key);
        while (alongIndex[i] != 0)
            i = (i + 1) & ((1u << ALONG_BITS) - 1);
        alongIndex[i] = d + 1;
    }
    LoadBoard(p);
    int kept = 0;
    for (int at = 0; at < lineDepth;) {
        int best = at + 1;
        Move bestMove = lineMoves[at + 1];
        SearchFrame f;
        Generate(p, &f);
        for (int i = 0; i < f.count; i++) {
            if (!Apply(p, f.moves[i], &u))
                continue;
            int j = FindAlong(p.key);
            if (j > best) {
                best = j;
                bestMove = f.moves[i];
            }
            Revert(p, u);
        }
        lineMoves[++kept] = bestMove;
        Apply(p, bestMove, &u);
        at = best;
    }
    lineDepth = kept;
}

void WriteLine()
{
    winningLength = 0;
    for (int d = 1; d <= lineDepth; d++) {
        winningLine[++winningLength] = { lineMoves[d].card, lineMoves[d].filler != 0 ? CLICK_RIGHT : CLICK_LEFT };
        if (lineMoves[d].filler > 0)
            winningLine[++winningLength] = { lineMoves[d].filler, CLICK_LEFT };
    }
}

void KeepStart()
{
    std::memcpy(startBoard, board, sizeof startBoard);
    std::memcpy(startCells, freeCells, sizeof startCells);
}

void RestoreStart()
{
    std::memcpy(board, startBoard, sizeof startBoard);
    std::memcpy(freeCells, startCells, sizeof startCells);
    freeUsed = 1;
    for (int i = 1; i <= FREE_CELL_COUNT; i++)
        if (freeCells[i] != 0)
            freeUsed++;
}

// Plays the line through the game's own click rules from the start.
bool LineWins()
{
    RestoreStart();
    for (int i = 1; i <= winningLength; i++)
        if (!ApplyClick(winningLine[i].card, winningLine[i].button))
            return false;
    return IsSolved() == 1;
}
