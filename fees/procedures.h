#pragma once
// The fee ledger's window procedures by their names.

// Registers the ledger list BrowseCLANAR for the menu "Članarina", and the
// entry window UnosCLANAR and the charging run ZaduzenjeCLANAR, which the
// list starts by name on threads of their own.
void RegisterFeesProcedures();
