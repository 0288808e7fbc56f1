#pragma once
// The select windows of the nine code tables. A lookup opens one on its own
// thread with the select request, after putting the code it looks for into
// the table's code field; the window opens on the first row at or after that
// code. On return GlobalResponse is completed with the chosen row in the
// table's record buffer, or cancelled with the buffer exactly as it was.
void SelectPLANSA();
void SelectPLAND();
void SelectPODPOS();
void SelectSTUPEM();
void SelectNACION();
void SelectBRAST();
void SelectKATEG();
void SelectNACUC();
void SelectTURPOS();
