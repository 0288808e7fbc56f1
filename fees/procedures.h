#pragma once
// The fee windows the frame's menu and the other subsystems reach by name.
void RegisterFeesProcedures();
