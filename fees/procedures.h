#pragma once
// The fee ledger's window procedures by their names, and their registration
// with the frame.

// Registers the fee ledger's procedures under their names: the fee entry
// window UnosCLANAR, which the ledger list starts on a thread of its own.
void RegisterFeesProcedures();
