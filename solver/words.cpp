// Suits by (card - 1) / 10: batons, cups, coins, swords; ranks 1 to 10: ace,
// 2 to 7, jack, knight, king.
#include "solver/words.h"
#include "game/board.h"
#include "solver/solver.h"

#include <cstdio>

namespace {

const char* const suitsItalian[4] = { "bastoni", "coppe", "denari", "spade" };
const char* const suitsEnglish[4] = { "batons", "cups", "coins", "swords" };
const char* const figuresItalian[11] = { "", "l'asso", "", "", "", "", "", "", "il fante", "il cavallo", "il re" };
const char* const figuresEnglish[11] = { "", "the ace", "", "", "", "", "", "", "the jack", "the knight", "the king" };

int Rank(int card)
{
    return (card - 1) % 10 + 1;
}

void CardName(int card, char* text, int size, const char* const figures[11], const char* const suits[4],
              const char* number, const char* of)
{
    if (card < 1 || card > CARD_COUNT) {
        std::snprintf(text, size, "?");
        return;
    }
    int rank = Rank(card);
    if (figures[rank][0] != '\0')
        std::snprintf(text, size, "%s %s %s", figures[rank], of, suits[(card - 1) / 10]);
    else
        std::snprintf(text, size, "%s %d %s %s", number, rank, of, suits[(card - 1) / 10]);
}

} // namespace

void CardNameItalian(int card, char* text, int size)
{
    CardName(card, text, size, figuresItalian, suitsItalian, "il", "di");
}

void CardNameEnglish(int card, char* text, int size)
{
    CardName(card, text, size, figuresEnglish, suitsEnglish, "the", "of");
}

void DescribeClick(int card, int button, char* italian, char* english, int size)
{
    char nameItalian[40], nameEnglish[40], placeItalian[40], placeEnglish[40];
    CardNameItalian(card, nameItalian, sizeof nameItalian);
    CardNameEnglish(card, nameEnglish, sizeof nameEnglish);
    int column = 0, row = 0;
    FindCardPlace(card, &column, &row);
    if (column == FREE_CELL_COLUMN) {
        std::snprintf(placeItalian, sizeof placeItalian, "spazio libero %d", row);
        std::snprintf(placeEnglish, sizeof placeEnglish, "free cell %d", row);
    } else {
        std::snprintf(placeItalian, sizeof placeItalian, "riga %d, colonna %d", row, column);
        std::snprintf(placeEnglish, sizeof placeEnglish, "row %d, column %d", row, column);
    }
    if (button == CLICK_RIGHT) {
        std::snprintf(italian, size, "Metti %s (%s) in uno spazio libero", nameItalian, placeItalian);
        std::snprintf(english, size, "Park %s (%s) in a free cell", nameEnglish, placeEnglish);
    } else {
        std::snprintf(italian, size, "Muovi %s (%s)", nameItalian, placeItalian);
        std::snprintf(english, size, "Move %s (%s)", nameEnglish, placeEnglish);
    }
}
