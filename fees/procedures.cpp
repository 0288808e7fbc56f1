#include "fees/procedures.h"

#include "core/frame/procedures.h"
#include "fees/browse_clanar.h"
#include "fees/unos_clanar.h"
#include "fees/zaduzenje_clanar.h"

void RegisterFeesProcedures() {
    RegisterProcedure("BrowseCLANAR", BrowseCLANAR);
    RegisterProcedure("UnosCLANAR", UnosCLANAR);
    RegisterProcedure("ZaduzenjeCLANAR", ZaduzenjeCLANAR);
}
