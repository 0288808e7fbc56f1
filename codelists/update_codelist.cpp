#include "codelists/update_codelist.h"

#include "core/dictionary/dictionary.h"
#include "framework/form_window.h"

namespace codelists {

namespace {

// The controls in creation order: the sheet, its tab "Podaci", a prompt and
// an entry per field (entry i restores field i+1 with the history key),
// "Uredu" and "Izlaz". The first entry (3) has the focus.
FormControls BuildForm(const CodeTable& t, rt::Window& w) {
    const FormLayout& f = t.form;
    rt::FileStructure& file = fileStructure(t.file);
    FormControls ids;
    ids.first = 3;

    const int sheet = kit::AddSheet(w, "?CURRENTTAB", f.sheet);
    const int tab = kit::AddTab(w, sheet, "?TAB:1", "Podaci", f.sheet);
    for (std::size_t i = 0; i < f.fields.size(); ++i) {
        const int field = static_cast<int>(i);
        ids.history.push_back({kit::AddFormField(w, tab, f.fields[i], file, field), field + 1});
    }
    ids.ok = w.add(kit::OkButton("?OK", "Uredu", {f.ok.x, f.ok.y}));
    ids.cancel = w.add(kit::CancelButton("?CANCEL", "Izlaz", {f.cancel.x, f.cancel.y}));
    return ids;
}

}  // namespace

void UpdateCodeList(const CodeTable& table) {
    RunWindow<FormWindowProcedure>(
        kit::ChildWindowDesc(table.form.width, table.form.height),
        [&table](rt::Window& w) { return BuildForm(table, w); }, table.form.procedure,
        FormFile{fileStructure(table.file), accessOf(table.file), relateOf(table.file),
                 table.history()});
}

}  // namespace codelists
