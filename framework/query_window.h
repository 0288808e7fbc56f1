#pragma once
// Query windows: a few code entries bound straight to process-wide selection
// values, each with its lookup and the looked-up name beside it, a date
// range or a code range, and one button ("Dalje") that hands over to what
// reads the selection: a list or a report, on the window's own thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "framework/lookup.h"
#include "framework/window_kit.h"
#include "framework/window_procedure.h"

namespace kit {

// The window of a query: an MDI child, centred, with a system menu, not
// resizable, in "MS Sans Serif" 8.
rt::WindowDesc QueryWindowDesc(int width, int height, const char* title);

// A code of the query: prompt, entry, its "..." button and the looked-up
// name beside it (nameControl nullptr: no name shown).
struct QueryCode {
    const char* prompt;
    Point promptAt;
    const char* name;  // "?G1:W1_SPS"
    rt::Rect at;
    const char* picture;
    const char* tip;
    const char* button;  // "?CallLookup"
    rt::Rect buttonAt;
    const char* nameControl;  // "?PLA1:SP1_NPS"
    rt::Rect nameAt;
    const char* namePicture;
};
struct QueryCodeIds {
    int entry = 0, button = 0, name = 0;
};
// The code's controls, in that order; name is the name string's binding.
QueryCodeIds AddQueryCode(rt::Window& w, const QueryCode& c, std::atomic<std::int32_t>& value,
                          rt::Binding name = {});

// A prompt and its right-aligned entry bound to a shared value. The entry's
// message and tip are tip. Returns the entry's number.
int AddValueEntry(rt::Window& w, int parent, const char* prompt, Point promptAt, const char* name,
                  rt::Rect at, const char* picture, const char* tip,
                  std::atomic<std::int32_t>& value);

}  // namespace kit

// The query's ThisWindow: the lookups (declared by the procedure), "Dalje"
// (ok) and "Izlaz" (cancel, the standard close). After the inherited
// handling of "Dalje" the entries' values go into the selection values
// (Update), Next runs on this thread (the window takes no events until it
// returns), and the window shows the selection values again (Reset): what
// Next left in them included.
// The lookup of a query code: its entry, "..." button and name, the entry
// editing value; the looked-up file and its select window are the caller's
// to add.
Lookup QueryLookup(const kit::QueryCodeIds& ids, std::atomic<std::int32_t>& value);

class QueryWindowProcedure : public LookupWindow<WindowProcedure> {
  public:
    QueryWindowProcedure(std::string procedure, int first, int ok, int cancel, rt::Window& w,
                         EnterByTabClass& ebt, ToolbarClass& tb);

    std::function<void()> Next;

    Level TakeAccepted() override;

  protected:
    int ChooseFirstField() override { return first_; }
    void RegisterButtons() override;

  private:
    int first_, ok_, cancel_;
};
