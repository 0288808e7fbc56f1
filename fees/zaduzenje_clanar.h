#pragma once
// The charging run's window: a club, a document and a date; each "Dalje"
// charges every permanent member of the club one line (fees/charge.h).
// Started from the ledger list on a thread of its own.
void ZaduzenjeCLANAR();
