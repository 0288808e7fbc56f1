#pragma once
// The fee lists of the current selection, with their totals and the print
// button: all members of one club, and one member.
void ObradaCLANAR();
void ObradaCLANAR1();
