#pragma once
// The fee ledger's window procedures by their names.

// Registers the ledger list BrowseCLANAR for the menu "Članarina", and the
// charging run ZaduzenjeCLANAR (and the entry window UnosCLANAR, where it is
// built), which the list starts by name on threads of their own.
void RegisterFeesProcedures();
