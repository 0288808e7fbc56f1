#include "members/procedures.h"

#include "core/frame/procedures.h"
#include "members/select_clanovi.h"

void RegisterMembersProcedures() {
    RegisterProcedure("SelectCLANOVI", SelectCLANOVI);
}
