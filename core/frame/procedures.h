#pragma once
// The window procedures the frame's menu can start, by name. Each subsystem
// registers its own when the program is put together (app/), so the frame
// knows only names and stack sizes; an item whose procedure is not
// registered starts nothing.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using ProcedureFn = std::function<void()>;

void RegisterProcedure(std::string name, ProcedureFn procedure);
// The empty function when no procedure of that name is registered.
ProcedureFn FindProcedure(std::string_view name);
std::vector<std::string> RegisteredProcedures();
// Forgets every registration (tests).
void ClearProcedures();
