#pragma once
// The activities' window procedures by their names, and their registration
// with the frame's menu.

// Registers the hikes list, the document counters, the activity query and
// the work-action windows under their names (the menus "Aktivnosti " and
// "Brojači" start them, with the stacks of their table), and the entry
// windows the hikes lists start by name.
void RegisterActivitiesProcedures();
