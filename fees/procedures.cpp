#include "fees/procedures.h"

#include "core/frame/procedures.h"
#include "fees/unos_clanar.h"

void RegisterFeesProcedures() {
    RegisterProcedure("UnosCLANAR", UnosCLANAR);
}
