#include "app/procedures.h"

#include "activities/procedures.h"
#include "codelists/procedures.h"
#include "fees/procedures.h"
#include "members/procedures.h"

// Each subsystem registers its window procedures by name; the frame's menu
// and the windows that start one another find them there.
void RegisterAllProcedures() {
    RegisterCodelistsProcedures();
    RegisterMembersProcedures();
    RegisterFeesProcedures();
    RegisterActivitiesProcedures();
}
