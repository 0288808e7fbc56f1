#include "framework/window_kit.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

#include "runtime/text.h"

namespace kit {

std::string WindowText(std::string_view utf8) {
    auto t = rt::fromUtf8(utf8);
    if (t) return std::move(*t);
    return std::string(utf8);
}

rt::WindowDesc ChildWindowDesc(int width, int height, const char* title) {
    rt::WindowDesc d;
    d.kind = rt::WindowKind::Child;
    d.title = WindowText(title);
    d.at = {0, 0, width, height};
    d.centred = true;
    d.resizable = true;
    d.systemMenu = true;
    d.grey = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    return d;
}

rt::Control PushButton(const char* name, const char* text, rt::Rect at, const char* msg,
                       const char* tip) {
    rt::Control c;
    c.kind = rt::ControlKind::Button;
    c.name = name;
    c.text = WindowText(text);
    c.at = at;
    c.msg = WindowText(msg);
    c.tip = WindowText(tip);
    return c;
}

rt::Control SelectButton(rt::Rect at) {
    return PushButton("?Select:2", "Izbor", {at.x, at.y, at.w ? at.w : 49, at.h ? at.h : 14},
                      "Select the Record", "Select the Record");
}

rt::Control CloseButton(const char* text, rt::Rect at) {
    return PushButton("?Close", text, {at.x, at.y, at.w ? at.w : 49, at.h ? at.h : 14}, "Zatvori",
                      "Close Window");
}

rt::Control ActionButton(const std::string& name, const char* text, rt::Rect at, const char* tip,
                         bool skip) {
    rt::Control b = PushButton(name.c_str(), text, at, tip, tip);
    b.skip = skip;
    return b;
}

rt::Control OkButton(const char* name, const char* text, rt::Rect at) {
    rt::Control b =
        PushButton(name, text, {at.x, at.y, at.w ? at.w : 49, at.h ? at.h : 14},
                   "Accept data and close the window", "Accept data and close the window");
    b.isDefault = true;
    return b;
}

rt::Control CancelButton(const char* name, const char* text, rt::Rect at) {
    return PushButton(name, text, {at.x, at.y, at.w ? at.w : 49, at.h ? at.h : 14},
                      "Cancel operation", "Cancel operation");
}

int AddLookupButton(rt::Window& w, int parent, const char* name, rt::Rect at) {
    rt::Control b = PushButton(name, "...", at, "", "");
    b.skip = true;
    b.parent = parent;
    return w.add(std::move(b));
}

std::int32_t& CodeField(rt::FileStructure& file, std::string_view label) {
    const rt::FieldRef f = rt::FieldOf(file, label);
    const rt::FieldDef& d = file.def().fields[static_cast<std::size_t>(f.index)];
    if (d.type != rt::FieldType::Long)
        throw std::invalid_argument("not a code field: " + std::string(label));
    return *reinterpret_cast<std::int32_t*>(static_cast<char*>(file.record()) + d.offset);
}

rt::Binding BindField(rt::FileStructure& file, int field) {
    const rt::FieldDef& d = file.def().fields.at(static_cast<std::size_t>(field));
    char* p = static_cast<char*>(file.record()) + d.offset;
    switch (d.type) {
        case rt::FieldType::Long:
            return rt::bind(*reinterpret_cast<std::int32_t*>(p));
        case rt::FieldType::Byte:
            return rt::bind(*reinterpret_cast<std::uint8_t*>(p));
        case rt::FieldType::String:
            return rt::bindText(p, d.size);
        case rt::FieldType::Decimal:
            return rt::bindMoney(*reinterpret_cast<rt::Money*>(p));
    }
    return {};
}

std::string BrowsingMessage(const rt::FileDef& file) {
    return std::string("Browsing the ") + file.label + " file";
}

rt::Control ListBox(rt::Rect at, std::string msg, const std::vector<ColumnLayout>& columns) {
    rt::Control list;
    list.kind = rt::ControlKind::List;
    list.name = "?Browse:1";
    list.at = at;
    list.msg = std::move(msg);
    for (const ColumnLayout& c : columns) {
        rt::Column col;
        col.header = WindowText(c.header);
        col.width = c.width;
        col.align = c.align;
        col.indent = c.indent;
        col.headerAlign = c.headerAlign;
        col.picture = c.picture;
        list.columns.push_back(std::move(col));
    }
    return list;
}

void GroupColumns(rt::Control& list, std::size_t first, std::size_t count, const char* heading) {
    for (std::size_t i = first; i < first + count && i < list.columns.size(); ++i)
        list.columns[i].group = WindowText(heading);
}

int AddSheet(rt::Window& w, const char* name, rt::Rect at) {
    rt::Control sheet;
    sheet.kind = rt::ControlKind::Sheet;
    sheet.name = name;
    sheet.at = at;
    return w.add(std::move(sheet));
}

int AddTab(rt::Window& w, int sheet, std::string name, const char* text, rt::Rect at) {
    rt::Control tab;
    tab.kind = rt::ControlKind::Tab;
    tab.name = std::move(name);
    tab.text = WindowText(text);
    tab.at = at;
    tab.parent = sheet;
    const int id = w.add(std::move(tab));
    if (!w.control(sheet).selectedTab) w.control(sheet).selectedTab = id;
    return id;
}

int AddLocatorEntry(rt::Window& w, int tab, const LocatorEntry& l, rt::Binding value) {
    rt::Control e;
    e.kind = rt::ControlKind::Entry;
    e.name = l.name;
    e.at = l.at;
    e.picture = l.picture;
    e.tip = WindowText(l.tip);
    e.msg = e.tip;
    e.align = l.right ? rt::Align::Right : rt::Align::Left;
    e.indent = l.right ? 1 : 0;
    e.value = std::move(value);
    e.parent = tab;
    return w.add(std::move(e));
}

int AddPrompt(rt::Window& w, int parent, std::string name, const char* text, Point at) {
    rt::Control prompt;
    prompt.kind = rt::ControlKind::Prompt;
    prompt.name = std::move(name);
    prompt.text = WindowText(text);
    // A prompt takes the size of its text: about 3.5 dialog units a
    // character in the window's font.
    prompt.at = {at.x, at.y, static_cast<int>(prompt.text.size() * 7 / 2) + 2, 10};
    prompt.parent = parent;
    return w.add(std::move(prompt));
}

namespace {

// The prompt without its closing colon: the entry's message and tip.
std::string TipOf(const FormField& f) {
    if (f.tip) return f.tip;
    std::string s = f.prompt;
    if (!s.empty() && s.back() == ':') s.pop_back();
    return s;
}

}  // namespace

int AddFormField(rt::Window& w, int parent, const FormField& f, rt::FileStructure& file,
                 int field) {
    AddPrompt(w, parent, std::string(f.name) + ":Prompt", f.prompt, f.promptAt);
    rt::Control e;
    e.kind = f.textBox ? rt::ControlKind::Text : rt::ControlKind::Entry;
    e.name = f.name;
    e.at = f.at;
    e.picture = f.picture;
    e.msg = e.tip = WindowText(TipOf(f));
    const rt::FieldType type = file.def().fields.at(static_cast<std::size_t>(field)).type;
    if (!f.textBox && type != rt::FieldType::String) {
        e.align = rt::Align::Right;
        e.indent = 1;
    }
    e.value = BindField(file, field);
    e.parent = parent;
    return w.add(std::move(e));
}

int AddString(rt::Window& w, int parent, const char* name, rt::Rect at, const char* picture,
              rt::Binding value) {
    rt::Control s;
    s.kind = rt::ControlKind::String;
    s.name = name;
    s.at = at;
    s.picture = picture;
    s.value = std::move(value);
    s.parent = parent;
    return w.add(std::move(s));
}

int AddOptionBox(rt::Window& w, int parent, const char* name, const char* text, rt::Rect at,
                 rt::Binding value, const std::vector<RadioLayout>& radios, const char* tip) {
    const std::string tipText = tip ? WindowText(tip) : std::string();
    rt::Control box;
    box.kind = rt::ControlKind::Option;
    box.name = name;
    box.text = WindowText(text);
    box.at = at;
    box.value = std::move(value);
    box.parent = parent;
    box.msg = box.tip = tipText;
    const int id = w.add(std::move(box));
    for (std::size_t i = 0; i < radios.size(); ++i) {
        rt::Control r;
        r.kind = rt::ControlKind::Radio;
        r.name = radios[i].name;
        r.text = WindowText(radios[i].text);
        r.at = radios[i].at;
        r.parent = id;
        r.radioValue = std::to_string(i + 1);
        r.msg = r.tip = tipText;
        w.add(std::move(r));
    }
    return id;
}

int AddPicture(rt::Window& w, int parent, const char* name, rt::Rect at,
               rt::ImagePayload::Mode mode) {
    rt::Control c;
    c.kind = rt::ControlKind::Image;
    c.name = name;
    c.at = at;
    c.parent = parent;
    c.pictureMode = mode;
    return w.add(std::move(c));
}

void ShowPicture(rt::Window& w, int control, std::string_view cp1250Path) {
    const std::string_view path = rt::trimRight(cp1250Path);
    if (rt::trimRight(w.control(control).text) == path) return;
    w.setPicture(control, path);
}

}  // namespace kit
