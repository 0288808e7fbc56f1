#include "fees/procedures.h"

#include "core/frame/procedures.h"
#include "fees/obrada_clanar.h"
#include "fees/print_clanar.h"
#include "fees/upit_clanar.h"

void RegisterFeesProcedures() {
    RegisterProcedure("UpitCLANAR", UpitCLANAR);
    RegisterProcedure("UpitCLANAR1", UpitCLANAR1);
    RegisterProcedure("ObradaCLANAR", ObradaCLANAR);
    RegisterProcedure("ObradaCLANAR1", ObradaCLANAR1);
    RegisterProcedure("PrintCLANAR", PrintCLANAR);
    RegisterProcedure("PrintCLANAR1", PrintCLANAR1);
}
