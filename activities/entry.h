#pragma once
// The entry windows of a whole document, started by the hikes lists' "Unos"
// on a thread of their own: the hikes entry window with its running numbers,
// and the work-action entry window, which has none of its own to show.

void UnosANGAZ();
void UnosANGAZ1();
