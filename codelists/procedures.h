#pragma once
// The code lists' window procedures by their names, and their registration
// with the frame's menu and for the other subsystems' lookups.

// The nine list windows, started from the menu "Šifarnici".
#define CODELISTS_TABLES(X) \
    X(PLANSA) X(PLAND) X(PODPOS) X(STUPEM) X(NACION) X(BRAST) X(KATEG) X(NACUC) X(TURPOS)

#define CODELISTS_DECLARE(F) \
    void Browse##F();        \
    void Update##F();
CODELISTS_TABLES(CODELISTS_DECLARE)
#undef CODELISTS_DECLARE

// Registers the nine lists under their names (the menu gives each its stack)
// and the nine select windows (SelectPLANSA ... SelectTURPOS), which the
// other subsystems' lookups find by name and run on their own thread.
void RegisterCodelistsProcedures();
