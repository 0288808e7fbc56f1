#pragma once
// The fee entry window: the charges and payments of one document, line by
// line, for the members of one club, each line written to the ledger when
// the focus reaches the write field at its end. Started on a thread of its
// own by the ledger list.
void UnosCLANAR();
