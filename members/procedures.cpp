#include "members/procedures.h"

#include "core/frame/procedures.h"
#include "members/browse_clanovi.h"
#include "members/datazur.h"
#include "members/obrada_clanovi.h"
#include "members/print_clanov.h"
#include "members/select_clanovi.h"
#include "members/upit_clanovi.h"

void RegisterMembersProcedures() {
    RegisterProcedure("BrowseCLANOVI", BrowseCLANOVI);
    RegisterProcedure("BrowseDATAZUR", BrowseDATAZUR);
    RegisterProcedure("SelectCLANOVI", SelectCLANOVI);
    RegisterProcedure("ObradaCLANOVI", ObradaCLANOVI);
    RegisterProcedure("UpitCLANOVI", UpitCLANOVI);
    RegisterProcedure("PrintCLANOV", PrintCLANOV);
    RegisterProcedure("PrintCLANOV1", PrintCLANOV1);
}
