#pragma once
// The member list, started from the menu "Članovi PD" on a thread of its own.
void BrowseCLANOVI();
