#pragma once
// The data dictionary's per-thread objects.

// Builds the calling thread's access and relation objects for all files.
void DctInit();
// Ends and frees them.
void DctKill();
// Registers the per-thread Dictionary component with the runtime.
void installDictionaryComponents();
