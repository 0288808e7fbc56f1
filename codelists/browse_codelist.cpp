#include "codelists/browse_codelist.h"

#include "codelists/update_codelist.h"
#include "core/dictionary/dictionary.h"
#include "core/frame/cp1250.h"
#include "framework/browse.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"

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

    rt::Control list;
    list.kind = rt::ControlKind::List;
    list.name = "?Browse:1";
    list.at = l.list;
    list.msg = BrowsingMessage(t);
    for (const ColumnLayout& c : l.columns) {
        rt::Column col;
        col.header = Cp1250(c.header);
        col.width = c.width;
        col.align = c.align;
        col.indent = c.indent;
        col.headerAlign = c.headerAlign;
        col.picture = c.picture;
        list.columns.push_back(col);
    }
    ids.list = w.add(list);

    if (l.selectButton) {
        rt::Control sel =
            PushButton("?Select:2", "Izbor", l.selectAt, "Select the Record", "Select the Record");
        sel.hidden = true;
        ids.select = w.add(sel);
    }
    // With "Izbor" in front the action buttons are numbered one higher.
    const std::string n = l.selectButton ? "3" : "2";
    auto action = [&](const char* name, const char* text, Point at, int width, const char* tip) {
        rt::Control b = PushButton(("?" + std::string(name) + ":" + n).c_str(), text,
                                   {at.x, at.y, width, 14}, tip, tip);
        b.skip = true;
        return w.add(b);
    };
    ids.insert = action("Insert", l.insertText, l.insert, 49, "Insert a Record");
    ids.change = action("Change", "Promjena", l.change, l.changeWidth, "Change the Record");
    w.control(ids.change).isDefault = true;
    ids.del = action("Delete", "Brisanje", l.del, 49, "Delete the Record");

    rt::Control sheet;
    sheet.kind = rt::ControlKind::Sheet;
    sheet.name = "?CurrentTab";
    sheet.at = l.sheet;
    ids.sheet = w.add(sheet);
    for (std::size_t i = 0; i < l.tabs.size() && i < 2; ++i) {
        const SortTab& s = l.tabs[i];
        rt::Control tab;
        tab.kind = rt::ControlKind::Tab;
        tab.name = "?Tab:" + std::to_string(i + 2);
        tab.text = Cp1250(s.text);
        tab.at = l.sheet;
        tab.parent = ids.sheet;
        ids.tab[i] = w.add(tab);
        if (s.entry.name) {
            rt::Control e;
            e.kind = rt::ControlKind::Entry;
            e.name = s.entry.name;
            e.at = s.entry.at;
            e.picture = s.entry.picture;
            e.tip = Cp1250(s.entry.tip);
            e.msg = Cp1250(s.entry.tip);
            e.align = s.entry.right ? rt::Align::Right : rt::Align::Left;
            e.indent = s.entry.right ? 1 : 0;
            e.value = BindField(file, s.field);
            e.parent = ids.tab[i];
            ids.entry[i] = w.add(e);
        }
    }
    w.control(ids.sheet).selectedTab = ids.tab[0];
    ids.close = w.add(PushButton("?Close", l.closeText, {l.close.x, l.close.y, 49, 14}, "Zatvori",
                                 "Close Window"));
    return ids;
}

// The browse of a list: in the two-tab windows the order follows the tab;
// BrowsePODPOS offers no insert, change or delete keys and no menu items.
class CodeBrowse : public BrowseClass {
  public:
    int Sheet = 0, FirstTab = 0, SecondTab = 0;
    bool KeysAndMenu = true;

    bool ResetSort(bool force) override {
        if (!SecondTab) return BrowseClass::ResetSort(force);
        const int tab = Window->Win->control(Sheet).selectedTab;
        return SetSort(tab == FirstTab ? 1 : tab == SecondTab ? 2 : 3, force);
    }
    void SetAlerts() override {
        if (!KeysAndMenu) EditViaPopup = false;
        BrowseClass::SetAlerts();
    }
};

class CodeListWindow : public WindowProcedure {
  public:
    CodeListWindow(const CodeTable& t, const ListControls& ids, rt::Window& w, EnterByTabClass& ebt,
                   ToolbarClass& tb, WindowResizeClass& rs)
        : WindowProcedure(t.list.procedure, w, ebt, &tb, &rs),
          t_(t),
          ids_(ids),
          file_(fileStructure(t.file)),
          view_(file_) {
        RelationManager*& relate = relateOf(t.file);
        AddFile([&relate] { relate->Open(); }, [&relate] { relate->Close(); });
        // The browse is set up once the file is open, before the window.
        AddFile([this] { SetUpBrowse(); }, {});
    }

    using WindowManager::Run;
    // The update hook: the file's form, with the request in GlobalRequest.
    std::uint8_t Run(int number, std::uint8_t request) override {
        WindowManager::Run(number, request);
        GlobalRequest = request;
        UpdateCodeList(t_);
        return GlobalResponse;
    }

  protected:
    int ChooseFirstField() override { return ids_.list; }
    void RegisterButtons() override {
        AddItem(ids_.close,
                Request == ::Request::Select ? ::Response::Cancelled : ::Response::Completed);
    }
    void AfterRestore() override { BRW1.AskProcedure = 1; }

  private:
    void SetUpBrowse() {
        const ListLayout& l = t_.list;
        const bool twoTabs = l.tabs.size() == 2;
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
            BRW1.AddSortOrder(s.step ? step : nullptr, file_.key(s.key));
            BRW1.AddLocator(locator);
            locator.Init(entry, file_.field(s.field), true, BRW1);
        };
        if (twoTabs) {
            BRW1.FirstTab = ids_.tab[0];
            BRW1.SecondTab = ids_.tab[1];
            order(l.tabs[0], &Sort1_Step, Sort1_Entry, ids_.entry[0]);
            order(l.tabs[1], nullptr, Sort2_Entry, ids_.entry[1]);
            order(l.tabs[0], &Sort0_Step, Sort0_Entry, ids_.entry[0]);
        } else {
            order(l.tabs[0], &Sort0_Step, Sort0_Locator, 0);
        }
        for (int i = 0; i < static_cast<int>(file_.def().fields.size()); ++i)
            BRW1.AddField(file_.field(i));
    }

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
    EnterByTabClass EnterByTabManager;
    rt::Window QuickWindow(
        CodeListWindowDesc(table.list.width, table.list.height, table.list.title));
    const ListControls ids = BuildList(table, QuickWindow);
    ToolbarClass Toolbar;
    WindowResizeClass Resizer;
    CodeListWindow ThisWindow(table, ids, QuickWindow, EnterByTabManager, Toolbar, Resizer);
    GlobalResponse = ThisWindow.Run();
}

}  // namespace codelists
