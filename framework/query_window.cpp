#include "framework/query_window.h"

#include "framework/globals.h"

namespace kit {

rt::WindowDesc QueryWindowDesc(int width, int height, const char* title) {
    rt::WindowDesc d = ChildWindowDesc(width, height, title);
    d.resizable = false;
    return d;
}

int AddValueEntry(rt::Window& w, int parent, const char* prompt, Point promptAt, const char* name,
                  rt::Rect at, const char* picture, const char* tip,
                  std::atomic<std::int32_t>& value) {
    AddPrompt(w, parent, std::string(name) + ":Prompt", prompt, promptAt);
    rt::Control e;
    e.kind = rt::ControlKind::Entry;
    e.name = name;
    e.at = at;
    e.picture = picture;
    e.msg = e.tip = WindowText(tip);
    e.align = rt::Align::Right;
    e.indent = 1;
    e.value = rt::bindAtomic(value);
    e.parent = parent;
    return w.add(std::move(e));
}

QueryCodeIds AddQueryCode(rt::Window& w, const QueryCode& c, std::atomic<std::int32_t>& value,
                          rt::Binding name) {
    QueryCodeIds ids;
    ids.entry = AddValueEntry(w, 0, c.prompt, c.promptAt, c.name, c.at, c.picture, c.tip, value);
    ids.button = AddLookupButton(w, 0, c.button, c.buttonAt);
    if (c.nameControl)
        ids.name = AddString(w, 0, c.nameControl, c.nameAt, c.namePicture, std::move(name));
    return ids;
}

}  // namespace kit

QueryWindowProcedure::QueryWindowProcedure(std::string procedure, int first, int ok, int cancel,
                                           rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb)
    : LookupWindow<WindowProcedure>(std::move(procedure), w, ebt, &tb, nullptr),
      first_(first),
      ok_(ok),
      cancel_(cancel) {}

Lookup QueryLookup(const kit::QueryCodeIds& ids, std::atomic<std::int32_t>& value) {
    return {.Entry = ids.entry, .Button = ids.button, .Value = value, .NameControl = ids.name};
}

void QueryWindowProcedure::RegisterButtons() {
    AddItem(cancel_, ::Response::Cancelled);
}

Level QueryWindowProcedure::TakeAccepted() {
    const Level inherited = LookupWindow<WindowProcedure>::TakeAccepted();
    if (inherited != Level::Benign || !Win || Win->field() != ok_) return inherited;
    Update();
    if (Next) Next();
    Reset(false);
    return Level::Benign;
}
