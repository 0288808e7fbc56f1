#include "codelists/browse_codelist.h"

#include "codelists/update_codelist.h"
#include "core/dictionary/dictionary.h"
#include "framework/list_window.h"

namespace codelists {

namespace {

// Control numbers of one list window (0: the window has no such control).
struct ListControls {
    int list = 0, select = 0, insert = 0, change = 0, del = 0, sheet = 0, close = 0;
    int tab[2] = {0, 0};
    int entry[2] = {0, 0};
};

// The controls in creation order: the list, ("Izbor"), the three buttons,
// the sheet with its tabs (and their locator entries), the close button.
ListControls BuildList(const CodeTable& t, rt::Window& w) {
    const ListLayout& l = t.list;
    rt::FileStructure& file = fileStructure(t.file);
    ListControls ids;

    ids.list = w.add(kit::ListBox(l.list, BrowsingMessage(t), l.columns));
    if (l.selectButton) {
        rt::Control sel = kit::SelectButton(l.selectAt);
        sel.hidden = true;
        ids.select = w.add(sel);
    }
    // With "Izbor" in front the action buttons are numbered one higher.
    const std::string n = l.selectButton ? "3" : "2";
    auto action = [&](const char* name, const char* text, Point at, int width, const char* tip) {
        return w.add(kit::ActionButton("?" + std::string(name) + ":" + n, text,
                                       {at.x, at.y, width, 14}, tip, true));
    };
    ids.insert = action("Insert", l.insertText, l.insert, 49, "Insert a Record");
    ids.change = action("Change", "Promjena", l.change, l.changeWidth, "Change the Record");
    w.control(ids.change).isDefault = true;
    ids.del = action("Delete", "Brisanje", l.del, 49, "Delete the Record");

    ids.sheet = kit::AddSheet(w, "?CurrentTab", l.sheet);
    for (std::size_t i = 0; i < l.tabs.size() && i < 2; ++i) {
        const SortTab& s = l.tabs[i];
        ids.tab[i] = kit::AddTab(w, ids.sheet, "?Tab:" + std::to_string(i + 2), s.text, l.sheet);
        if (s.entry.name)
            ids.entry[i] =
                kit::AddLocatorEntry(w, ids.tab[i], s.entry, kit::BindField(file, s.field));
    }
    ids.close = w.add(kit::CloseButton(l.closeText, {l.close.x, l.close.y}));
    return ids;
}

// BrowsePODPOS offers no insert, change or delete keys and no menu items.
class CodeBrowse : public TabOrderBrowse {
  public:
    bool KeysAndMenu = true;

    void SetAlerts() override {
        if (!KeysAndMenu) EditViaPopup = false;
        TabOrderBrowse::SetAlerts();
    }
};

class CodeListWindow : public ListWindowProcedure {
  public:
    CodeListWindow(const CodeTable& t, const ListControls& ids, rt::Window& w, EnterByTabClass& ebt,
                   ToolbarClass& tb, WindowResizeClass& rs)
        : ListWindowProcedure(t.list.procedure, relateOf(t.file), ids.list, ids.close, w, ebt, tb,
                              rs),
          t_(t),
          ids_(ids),
          file_(fileStructure(t.file)),
          view_(file_) {
        UpdateProcedure = [&t] { UpdateCodeList(t); };
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    // In the two-tab windows the order follows the tab (code, name), the
    // code order once more by default.
    void SetUpBrowse() override {
        const ListLayout& l = t_.list;
        if (ids_.select) {
            BRW1.SelectControl = ids_.select;
            BRW1.HideSelect = true;
        }
        BRW1.Init(ids_.list, Queue.ViewPosition, view_, Queue, *relateOf(t_.file), *this);
        BRW1.InsertControl = ids_.insert;
        BRW1.ChangeControl = ids_.change;
        BRW1.DeleteControl = ids_.del;
        BRW1.Sheet = ids_.sheet;
        BRW1.KeysAndMenu = l.editViaPopup;
        BRW1.RetainRow = false;
        auto order = [&](const SortTab& s, StepLongClass* step, LocatorClass& locator, int entry) {
            if (step) step->Init(StepOption::Alpha);
            AddOrder(BRW1, s.step ? step : nullptr, file_.key(s.key), locator, entry,
                     file_.field(s.field));
        };
        if (l.tabs.size() == 2) {
            BRW1.Orders = {{ids_.tab[0], 1}, {ids_.tab[1], 2}};
            order(l.tabs[0], &Sort1_Step, Sort1_Entry, ids_.entry[0]);
            order(l.tabs[1], nullptr, Sort2_Entry, ids_.entry[1]);
            order(l.tabs[0], &Sort0_Step, Sort0_Entry, ids_.entry[0]);
        } else {
            order(l.tabs[0], &Sort0_Step, Sort0_Locator, 0);
        }
        for (int i = 0; i < static_cast<int>(file_.def().fields.size()); ++i)
            BRW1.AddField(file_.field(i));
    }

  private:
    const CodeTable& t_;
    const ListControls& ids_;
    rt::FileStructure& file_;
    rt::View view_;
    CodeBrowse BRW1;
    BrowseQueue Queue;
    StepLongClass Sort0_Step, Sort1_Step;
    EntryLocatorClass Sort0_Entry, Sort1_Entry, Sort2_Entry;
    StepLocatorClass Sort0_Locator;
};

}  // namespace

void BrowseCodeList(const CodeTable& table) {
    RunWindow<CodeListWindow>(
        kit::ChildWindowDesc(table.list.width, table.list.height, table.list.title),
        [&table](rt::Window& w) { return BuildList(table, w); }, table);
}

}  // namespace codelists
