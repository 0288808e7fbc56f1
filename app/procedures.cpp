#include "app/procedures.h"

// A subsystem that is built provides <subsystem>/procedures.h with
// Register<Subsystem>Procedures(); the build defines CLANOVI_HAS_<SUBSYSTEM>.
#if defined(CLANOVI_HAS_CODELISTS) && __has_include("codelists/procedures.h")
#include "codelists/procedures.h"
#define CLANOVI_REGISTER_CODELISTS 1
#endif
#if defined(CLANOVI_HAS_MEMBERS) && __has_include("members/procedures.h")
#include "members/procedures.h"
#define CLANOVI_REGISTER_MEMBERS 1
#endif
#if defined(CLANOVI_HAS_FEES) && __has_include("fees/procedures.h")
#include "fees/procedures.h"
#define CLANOVI_REGISTER_FEES 1
#endif
#if defined(CLANOVI_HAS_ACTIVITIES) && __has_include("activities/procedures.h")
#include "activities/procedures.h"
#define CLANOVI_REGISTER_ACTIVITIES 1
#endif

void RegisterAllProcedures() {
#ifdef CLANOVI_REGISTER_CODELISTS
    RegisterCodelistsProcedures();
#endif
#ifdef CLANOVI_REGISTER_MEMBERS
    RegisterMembersProcedures();
#endif
#ifdef CLANOVI_REGISTER_FEES
    RegisterFeesProcedures();
#endif
#ifdef CLANOVI_REGISTER_ACTIVITIES
    RegisterActivitiesProcedures();
#endif
}
