#pragma once
// The activity overview: the query window, started from the menu
// "Aktivnosti " on a thread of its own, which edits the process-wide report
// selection (federation, club, member range, period), and the list of the
// activity lines it selects, called on the query window's thread.

void UpitANGAZOV();
void ObradaANGAZOV();
