#pragma once
// The fee windows the frame's menu and the other subsystems reach by name.

// Registers the ledger list BrowseCLANAR for the menu "Članarina" with the
// entry window UnosCLANAR and the charging run ZaduzenjeCLANAR it starts on
// threads of their own, and the fee queries, lists and reports (UpitCLANAR,
// UpitCLANAR1, ObradaCLANAR, ObradaCLANAR1, PrintCLANAR, PrintCLANAR1).
void RegisterFeesProcedures();
