#pragma once
// The activity report: the lines of the report selection, grouped by
// federation, club and member, called by the activity list on its thread.

void PrintaANGAZ();
