#include "fees/procedures.h"

#include "core/frame/procedures.h"
#include "fees/browse_clanar.h"
#include "fees/obrada_clanar.h"
#include "fees/print_clanar.h"
#include "fees/unos_clanar.h"
#include "fees/upit_clanar.h"
#include "fees/zaduzenje_clanar.h"

void RegisterFeesProcedures() {
    RegisterProcedure("BrowseCLANAR", BrowseCLANAR);
    RegisterProcedure("UnosCLANAR", UnosCLANAR);
    RegisterProcedure("ZaduzenjeCLANAR", ZaduzenjeCLANAR);
    RegisterProcedure("UpitCLANAR", UpitCLANAR);
    RegisterProcedure("UpitCLANAR1", UpitCLANAR1);
    RegisterProcedure("ObradaCLANAR", ObradaCLANAR);
    RegisterProcedure("ObradaCLANAR1", ObradaCLANAR1);
    RegisterProcedure("PrintCLANAR", PrintCLANAR);
    RegisterProcedure("PrintCLANAR1", PrintCLANAR1);
}
