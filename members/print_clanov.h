#pragma once
// The member record cards, one page a member: the highlighted member of the
// print list (PrintCLANOV) and a range of member codes of one club
// (PrintCLANOV1), each on its caller's thread.
void PrintCLANOV();
void PrintCLANOV1();
