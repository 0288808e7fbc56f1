#include "codelists/update_codelist.h"

#include <string>

#include "core/dictionary/dictionary.h"
#include "core/frame/cp1250.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"

namespace codelists {

namespace {

struct FormControls {
    int ok = 0, cancel = 0;
    std::vector<int> entries;  // one per field, in declaration order
};

// The prompt without its closing colon: the entry's message and tip.
std::string TipOf(const FormField& f) {
    if (f.tip) return f.tip;
    std::string s = f.prompt;
    if (!s.empty() && s.back() == ':') s.pop_back();
    return s;
}

// The controls in creation order: the sheet, its tab "Podaci", a prompt and
// an entry per field, "Uredu" and "Izlaz".
FormControls BuildForm(const CodeTable& t, rt::Window& w) {
    const FormLayout& f = t.form;
    rt::FileStructure& file = fileStructure(t.file);
    FormControls ids;

    rt::Control sheet;
    sheet.kind = rt::ControlKind::Sheet;
    sheet.name = "?CURRENTTAB";
    sheet.at = f.sheet;
    const int sheetId = w.add(sheet);
    rt::Control tab;
    tab.kind = rt::ControlKind::Tab;
    tab.name = "?TAB:1";
    tab.text = "Podaci";
    tab.at = f.sheet;
    tab.parent = sheetId;
    const int tabId = w.add(tab);
    w.control(sheetId).selectedTab = tabId;

    for (std::size_t i = 0; i < f.fields.size(); ++i) {
        const FormField& ff = f.fields[i];
        rt::Control prompt;
        prompt.kind = rt::ControlKind::Prompt;
        prompt.name = std::string(ff.name) + ":Prompt";
        prompt.text = Cp1250(ff.prompt);
        // A prompt takes the size of its text: about 3.5 dialog units a
        // character in the window's font.
        prompt.at = {ff.promptAt.x, ff.promptAt.y, static_cast<int>(prompt.text.size() * 7 / 2) + 2,
                     10};
        prompt.parent = tabId;
        w.add(prompt);

        rt::Control e;
        e.kind = ff.textBox ? rt::ControlKind::Text : rt::ControlKind::Entry;
        e.name = ff.name;
        e.at = ff.at;
        e.picture = ff.picture;
        e.msg = e.tip = Cp1250(TipOf(ff));
        const rt::FieldType type = file.def().fields.at(i).type;
        if (!ff.textBox && type != rt::FieldType::String) {
            e.align = rt::Align::Right;
            e.indent = 1;
        }
        e.value = BindField(file, static_cast<int>(i));
        e.parent = tabId;
        ids.entries.push_back(w.add(e));
    }

    auto button = [&](const char* name, const char* text, Point at, const char* tip) {
        rt::Control b;
        b.kind = rt::ControlKind::Button;
        b.name = name;
        b.text = Cp1250(text);
        b.at = {at.x, at.y, 49, 14};
        b.msg = b.tip = tip;
        return w.add(b);
    };
    ids.ok = button("?OK", "Uredu", f.ok, "Accept data and close the window");
    w.control(ids.ok).isDefault = true;
    ids.cancel = button("?CANCEL", "Izlaz", f.cancel, "Cancel operation");
    return ids;
}

class CodeFormWindow : public WindowProcedure {
  public:
    CodeFormWindow(const CodeTable& t, const FormControls& ids, rt::Window& w, EnterByTabClass& ebt,
                   ToolbarClass& tb, WindowResizeClass& rs)
        : WindowProcedure(t.form.procedure, w, ebt, &tb, &rs), t_(t), ids_(ids) {
        RelationManager*& relate = relateOf(t.file);
        AddFile([&relate] { relate->Open(); }, [&relate] { relate->Close(); });
    }

    // In view mode the form never completes.
    std::uint8_t Run() override {
        const std::uint8_t r = WindowProcedure::Run();
        return OriginalRequest == ::Request::View ? ::Response::Cancelled : r;
    }
    using WindowManager::Run;

    // The title follows the request, set just before the event loop.
    void Ask() override {
        if (Request == ::Request::Insert)
            Win->setTitle("Upis");
        else if (Request == ::Request::Change)
            Win->setTitle("Promjena");
        WindowProcedure::Ask();
    }

    Level TakeAccepted() override {
        const Level l = WindowProcedure::TakeAccepted();
        if (Win->field() == ids_.ok) {
            Update();
            if (OriginalRequest == ::Request::View) Win->post(rt::Event::CloseWindow);
        }
        return l;
    }

    Level Kill() override {
        // However the window ended, an insert that did not complete leaves
        // no reserved row behind.
        if (OriginalRequest == ::Request::Insert && Response != ::Response::Completed && Primary &&
            Primary->Me && Primary->Me->Reserved())
            Primary->CancelAutoInc();
        return WindowProcedure::Kill();
    }

  protected:
    int ChooseFirstField() override { return 3; }
    void RegisterButtons() override {
        rt::FileStructure& file = fileStructure(t_.file);
        AddUpdateFile(*accessOf(t_.file));
        HistoryKey = rt::key::CtrlH;
        AddHistoryFile(file, t_.history());
        for (std::size_t i = 0; i < ids_.entries.size(); ++i)
            AddHistoryField(ids_.entries[i], static_cast<int>(i) + 1);
        AddItem(ids_.cancel, ::Response::Cancelled);
    }
    Level AfterFilesOpened() override {
        Primary = relateOf(t_.file);
        if (Request == ::Request::View) {
            InsertAction = ChangeAction = DeleteAction = FormAction::None;
            CancelAction = FormAction::Leave;
            OkControl = 0;
            return Level::Benign;
        }
        ChangeAction = FormAction::Default;
        CancelAction = FormAction::Default;
        OkControl = ids_.ok;
        return PrimeUpdate() == Level::Benign ? Level::Benign : Level::Notify;
    }
    void AfterRestore() override {
        if (Request == ::Request::View)
            for (int e : ids_.entries) Win->control(e).readOnly = true;
    }

  private:
    const CodeTable& t_;
    const FormControls& ids_;
};

}  // namespace

void UpdateCodeList(const CodeTable& table) {
    EnterByTabClass EnterByTabManager;
    rt::Window QuickWindow(CodeListWindowDesc(table.form.width, table.form.height));
    const FormControls ids = BuildForm(table, QuickWindow);
    ToolbarClass Toolbar;
    WindowResizeClass Resizer;
    CodeFormWindow ThisWindow(table, ids, QuickWindow, EnterByTabManager, Toolbar, Resizer);
    GlobalResponse = ThisWindow.Run();
}

}  // namespace codelists
