#pragma once
// The window procedures of the program by name. Each subsystem registers its
// own when the program is put together (app/), so neither the frame nor
// another subsystem includes its headers; an item whose procedure is not
// registered starts nothing.
//
// The registry only finds a procedure; the caller decides how it runs. The
// menu starts the procedures its table names on a new thread with the
// table's stack. A select window (SelectPLAND ...) is called on the caller's
// own thread, with GlobalRequest set to the select request, by the lookup
// that was given FindProcedure("SelectPLAND"): it works on that thread's
// record buffers, so it must never be started on a thread of its own.
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
