#pragma once
// The fee queries: the federation, club (and member) and the period a fee
// overview covers, edited in the shared selection values, then the list.
void UpitCLANAR();   // all members of one club
void UpitCLANAR1();  // one member
