#pragma once
// The member register's window procedures by their names, and their
// registration with the frame's menu and for the other subsystems' lookups.

// Registers the member list and the data-update dates under their names
// (the menu "Članovi PD" starts them, with the stacks of its table) and the
// member select window SelectCLANOVI, which the member-code lookups of the
// other subsystems find by name and run on their own thread.
void RegisterMembersProcedures();
