#pragma once
// The fee reports "Pregled članarine" of the current selection: all members
// of one club (PrintCLANAR, started on a thread of its own by its list) and
// one member (PrintCLANAR1, on its list's thread).
void PrintCLANAR();
void PrintCLANAR1();
