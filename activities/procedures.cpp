#include "activities/procedures.h"

#include "activities/counters.h"
#include "activities/entry.h"
#include "activities/hikes.h"
#include "activities/overview.h"
#include "activities/report.h"
#include "core/frame/procedures.h"

void RegisterActivitiesProcedures() {
    RegisterProcedure("BrowseANGAZOV", BrowseANGAZOV);
    RegisterProcedure("BrowseANGAZOV1", BrowseANGAZOV1);
    RegisterProcedure("BrowseDOKUM", BrowseDOKUM);
    RegisterProcedure("UpitANGAZOV", UpitANGAZOV);
    // Started by the hikes lists' "Unos" buttons.
    RegisterProcedure("UnosANGAZ", UnosANGAZ);
    RegisterProcedure("UnosANGAZ1", UnosANGAZ1);
    // Called by the activity list's "Print" on its thread.
    RegisterProcedure("PrintaANGAZ", PrintaANGAZ);
}
