// Cards, places and clicks in words, Italian and English, for the solver's
// lines and the companion's advice.
#pragma once

// "il 7 di denari", "l'asso di spade" / "the 7 of coins", "the ace of swords".
void CardNameItalian(int card, char* text, int size);
void CardNameEnglish(int card, char* text, int size);
// The advice for one click on a card where it is now on the board or in a
// free cell: "Muovi il 7 di denari (riga 2, colonna 5)" and "Move the 7 of
// coins (row 2, column 5)"; a right click parks the card.
void DescribeClick(int card, int button, char* italian, char* english, int size);
