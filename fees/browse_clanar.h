#pragma once
// The fee ledger list, started from the menu "Članarina" on a thread of its
// own: every line of every member, by federation, club, member, date and
// running number or by member code; its form UpdateCLANAR; the buttons that
// start the entry window and the charging run on threads of their own.
void BrowseCLANAR();
