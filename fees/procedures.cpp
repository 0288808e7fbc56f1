#include "fees/procedures.h"

#include "core/frame/procedures.h"
#include "fees/browse_clanar.h"
#include "fees/zaduzenje_clanar.h"
#if __has_include("fees/unos_clanar.h")
#include "fees/unos_clanar.h"
#define FEES_HAVE_ENTRY_WINDOW 1
#endif

void RegisterFeesProcedures() {
    RegisterProcedure("BrowseCLANAR", BrowseCLANAR);
    RegisterProcedure("ZaduzenjeCLANAR", ZaduzenjeCLANAR);
#ifdef FEES_HAVE_ENTRY_WINDOW
    RegisterProcedure("UnosCLANAR", UnosCLANAR);
#endif
}
