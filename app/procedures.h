#pragma once
// Puts the program together: every subsystem's window procedures are
// registered by name with the frame's menu (core/frame/procedures.h).
void RegisterAllProcedures();
