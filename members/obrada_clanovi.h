#pragma once
// The member print list: the member list without editing, from which the
// highlighted member's record card is printed or the card query opened.
void ObradaCLANOVI();
