// The win test, the end-of-game prompt and new games.
#pragma once

// 1 when every row holds one suit from ace in column 1 to king in column 10.
int IsSolved();
// Congratulates the player and offers another game: Yes deals anew, No quits.
void ShowEndOfGamePrompt();
// Ends the current game at once and deals a fresh one. Returns 1.
int NewGame();
