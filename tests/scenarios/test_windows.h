#pragma once
// Windows that exist only in the scenario tests, registered by procedure
// name so that the runner's `open` command can start them.
//
// "TestLookup" (title "Test lookup") and "TestLookupForm" (title "Test
// lookup form"): a club code entry ?DOK:D1_SIP looked up in PLAND through
// SelectPLAND, its "..." button ?CallLookup, the club's name ?PLA:P1_NPD,
// seat ?PLA:P1_SJD and e-mail ?PLA:P1_EML beside it, a number entry
// ?DOK:D1_BRJ, the club buffer's code ?PLA:P1_SIP, "Uredu" (?OK: accepts
// every control, then stores the DOKAN row) and "Izlaz" (?Cancel). The key
// F5 redraws the window from the record buffers, reading nothing. The form variant reads the
// looked-up club again on every reset, as the forms do; the other leaves the names as the last
// lookup left them.
//
// "TestSelectPLANSA" ... "TestSelectTURPOS": the select window alone, opened
// with the select request and the thread's fresh record buffer (code 0).
//
// Once the member register is built: "TestSelectCLANOVI", the member select
// window alone (select request, code 0), and "TestMemberLookup" ("Test
// member lookup"): the member-code range of a query window, entries
// ?G1:W1_SIFOD and ?G1:W1_SIFDO (the process-wide range values) with their
// buttons ?CallLookup and ?CallLookup:2, both looked up in CLANOVI through
// the one SelectCLANOVI (one hook number); the member buffer's surname
// ?CLA:M1_PRE, name ?CLA:M1_IME, father's name ?CLA:M1_IOC, code
// ?CLA:M1_SIF and identity card ?CLA:M1_BLK (a field the select window does
// not list); "Izlaz" (?Cancel); F5 redraws from the buffers.
void RegisterTestProcedures();
// Called by RegisterTestProcedures when the member register is built.
void RegisterMemberTestProcedures();
