#pragma once
// The member select window. A member-code lookup of another window opens it
// on its own thread with the select request, after putting the code it
// looks for into CLA:M1_SIF (0: from the first member); the window opens on
// the first member at or after that code. On return GlobalResponse is
// completed with the chosen member's listed fields in the member buffer, or
// cancelled with the buffer exactly as it was.
void SelectCLANOVI();
