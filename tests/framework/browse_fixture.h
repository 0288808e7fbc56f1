#pragma once
// A club list (the PLAND file of the dictionary, the real SQLite storage) as
// the browse tests drive it: two tabs ordering by code and by name, entry or
// step locators, the insert, change, delete and select buttons, and an
// update hook the test scripts. The procedure runs on its own thread; the
// test sends raw input and reads the window's views.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/browse.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"
#include "runtime/clock.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

namespace browsetest {

using namespace windowtest;

// Control numbers of the club list window.
enum Ctl : int {
    List = 1,
    Insert,
    Change,
    Delete,
    Sheet,
    TabCode,
    CodeEntry,
    TabName,
    NameEntry,
    Close,
    Select,
    Floor,  // raises the lowest code the list shows (a range with a reset field)
};

// The range's bound, on the list's thread.
inline thread_local std::int32_t floorCode = 0;

// What the list is set up with.
struct Options {
    bool entryLocators = true;  // else step locators without a control
    bool twoOrders = true;      // else the code order alone
    bool editViaPopup = true;
    bool retainRow = false;
    bool floorRange = false;  // codes >= floorCode, floorCode a reset field
    int listHeight = 60;      // 5 rows under the header
    // The update hook: runs on the list's thread with the request; returns
    // the form's outcome.
    std::function<std::uint8_t(int, std::uint8_t)> form;
    // Runs on the list's thread before the procedure (the caller's buffer).
    std::function<void()> before;
    // Runs on the list's thread after it returned.
    std::function<void(std::uint8_t response)> after;
    // Runs on the list's thread when the Floor button is pressed.
    std::function<void(rt::Window&)> floorPressed;
};

inline rt::Column column(const char* header, int width, const char* picture) {
    rt::Column c;
    c.header = header;
    c.width = width;
    c.picture = picture;
    return c;
}

// The window of the club list.
inline void buildWindow(rt::Window& w, const Options& o) {
    rt::Control list;
    list.kind = rt::ControlKind::List;
    list.name = "?Browse:1";
    list.at = {8, 34, 425, o.listHeight};
    list.columns = {column("\x8a"
                           "ifra PD",
                           30, "@n_3"),
                    column("Naziv PD", 209, "@s50")};
    w.add(list);
    auto b = [&](const char* name, const char* text) {
        rt::Control c = button(name, text);
        c.skip = true;
        return w.add(c);
    };
    b("?Insert:2", "&Upis");
    const int change = b("?Change:2", "Promjena");
    w.control(change).isDefault = true;
    b("?Delete:2", "Brisanje");
    rt::Control sheet;
    sheet.kind = rt::ControlKind::Sheet;
    sheet.name = "?CurrentTab";
    w.add(sheet);
    rt::Control tab1;
    tab1.kind = rt::ControlKind::Tab;
    tab1.name = "?Tab:2";
    tab1.text =
        "\x8a"
        "ifra PD";
    tab1.parent = Sheet;
    w.add(tab1);
    rt::Control code = entry("?PLA:P1_SIP", rt::bind(PLA.P1_SIP), "@n_3");
    code.parent = TabCode;
    w.add(code);
    rt::Control tab2;
    tab2.kind = rt::ControlKind::Tab;
    tab2.name = "?Tab:3";
    tab2.text = "Naziv PD";
    tab2.parent = Sheet;
    w.add(tab2);
    rt::Control name = entry("?PLA:P1_NPD", rt::bindText(PLA.P1_NPD.bytes.data(), 50), "@s50");
    name.parent = TabName;
    w.add(name);
    w.add(button("?Close", "Izlaz"));
    rt::Control sel = button("?Select:2", "Izbor");
    sel.hidden = true;
    w.add(sel);
    w.add(button("?Floor", "Od 5"));
    w.control(Sheet).selectedTab = TabCode;
}

// The list's browse: the order follows the tab.
class ClubBrowse : public BrowseClass {
  public:
    bool twoOrders = true;
    bool ResetSort(bool force) override {
        if (!twoOrders) return BrowseClass::ResetSort(force);
        const int tab = Window->Win->control(Sheet).selectedTab;
        return SetSort(tab == TabCode ? 1 : tab == TabName ? 2 : 3, force);
    }
};

class ClubList : public WindowProcedure {
  public:
    ClubList(const Options& o, rt::Window& w, EnterByTabClass& ebt)
        : WindowProcedure("BrowseClubs", w, ebt, nullptr, &Resizer), o_(o) {
        AddFile([] { Relate::PLAND->Open(); }, [] { Relate::PLAND->Close(); });
        // The browse is set up after the file is open and before the window.
        AddFile([this] { SetUpBrowse(); }, {});
    }
    using WindowManager::Run;
    std::uint8_t Run(int number, std::uint8_t request) override {
        WindowManager::Run(number, request);
        return o_.form ? o_.form(number, request) : ::Response::Cancelled;
    }

    WindowResizeClass Resizer;  // registered after the browse, as in every list
    ClubBrowse BRW1;
    BrowseQueue Queue_Browse_1;
    rt::View BRW1_View{PLAND};
    StepLongClass Sort0_Step, Sort1_Step;
    EntryLocatorClass Entry0, Entry1, Entry2;
    StepLocatorClass Step0, Step1, Step2;

    Level TakeAccepted() override {
        const Level l = WindowProcedure::TakeAccepted();
        if (window_.field() == Floor) {
            if (o_.floorPressed) o_.floorPressed(window_);
            floorCode = 5;
            Reset(false);  // not forced: only the reset field makes it read
        }
        return l;
    }

  protected:
    int ChooseFirstField() override { return List; }
    void RegisterButtons() override {
        AddItem(Close,
                Request == ::Request::Select ? ::Response::Cancelled : ::Response::Completed);
    }

  private:
    void SetUpBrowse() {
        BRW1.twoOrders = o_.twoOrders;
        BRW1.SelectControl = Select;
        BRW1.HideSelect = true;
        BRW1.Init(List, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::PLAND,
                  *this);
        if (Request != ::Request::Select) {
            BRW1.InsertControl = Insert;
            BRW1.ChangeControl = Change;
            BRW1.DeleteControl = Delete;
            BRW1.AskProcedure = 1;
        }
        BRW1.RetainRow = o_.retainRow;
        BRW1.EditViaPopup = o_.editViaPopup;
        LocatorClass& l1 = o_.entryLocators ? static_cast<LocatorClass&>(Entry1) : Step1;
        LocatorClass& l2 = o_.entryLocators ? static_cast<LocatorClass&>(Entry2) : Step2;
        LocatorClass& l0 = o_.entryLocators ? static_cast<LocatorClass&>(Entry0) : Step0;
        const int codeEntry = o_.entryLocators ? CodeEntry : 0;
        const int nameEntry = o_.entryLocators ? NameEntry : 0;
        if (o_.twoOrders) {
            Sort1_Step.Init(StepOption::Alpha);
            BRW1.AddSortOrder(&Sort1_Step, PLAND.KeyP1_SIP);
            BRW1.AddLocator(l1);
            l1.Init(codeEntry, PLAND.field(0), true, BRW1);
            BRW1.AddSortOrder(nullptr, PLAND.KeyP1_NPD);
            BRW1.AddLocator(l2);
            l2.Init(nameEntry, PLAND.field(1), true, BRW1);
        }
        Sort0_Step.Init(StepOption::Alpha);
        BRW1.AddSortOrder(&Sort0_Step, PLAND.KeyP1_SIP);
        BRW1.AddLocator(l0);
        l0.Init(codeEntry, PLAND.field(0), true, BRW1);
        if (o_.floorRange) {
            floorCode = 0;
            BRW1.AddRange(PLAND.field(0), rt::Compare::GreaterEqual,
                          [] { return rt::Value{std::int64_t{floorCode}}; });
            BRW1.AddResetField(floorCode);
        }
        // A select list reads every field but the e-mail (the last one).
        const int fields =
            static_cast<int>(PLAND.def().fields.size()) - (Request == ::Request::Select ? 1 : 0);
        for (int i = 0; i < fields; ++i) {
            if (Request == ::Request::Select) BRW1_View.project(PLAND.field(i));
            BRW1.AddField(PLAND.field(i));
        }
    }

    const Options& o_;
};

// Each test in a fresh directory with a database of its own.
class BrowseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
        GlobalErrors().Init(&GlobalErrorStatus);
        INIMgr().Init(".\\Sutrik.INI", 0, 0);
        rt::setFatalExitHook([](int) {});
        ASSERT_EQ(openOrCreate(), 0);
    }
    void TearDown() override {
        // A test that stopped early leaves its window open: end it, never hang.
        idle();
        rt::shutDownWindows();
        rt::joinAllThreads();
        PLAND.close();
        storage::setTrace({});
        storage::closeAllConnections();
        rt::setStorageDriver(nullptr);
        rt::setFatalExitHook({});
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }

    static int openOrCreate() {
        int rc = PLAND.open();
        if (rc == rt::FileErr::NoFile) {
            rc = PLAND.create();
            if (rc == 0) rc = PLAND.open();
        }
        return rc;
    }

    // Clubs with these codes, named by nameOf (default "Klub <code>").
    static void addClubs(const std::vector<int>& codes,
                         std::function<std::string(int)> nameOf = {}) {
        ASSERT_EQ(PLAND.begin(), 0);
        for (int code : codes) {
            PLAND.clear();
            PLA.P1_SIP = code;
            PLA.P1_NPD = nameOf ? nameOf(code) : "Klub " + std::to_string(code);
            PLA.P1_EML = "klub" + std::to_string(code) + "@example.org";
            ASSERT_EQ(PLAND.add(), 0) << code;
        }
        ASSERT_EQ(PLAND.commit(), 0);
    }
    static std::vector<int> range(int from, int to) {
        std::vector<int> v;
        for (int i = from; i <= to; ++i) v.push_back(i);
        return v;
    }
    static void removeClub(int code) {
        PLA.P1_SIP = code;
        ASSERT_EQ(PLAND.get(PLAND.KeyP1_SIP), 0);
        ASSERT_EQ(PLAND.remove(), 0);
    }

    // Starts the list on its own thread with the request and waits for it.
    rt::ViewPtr start(const Options& o, std::uint8_t request = 0) {
        opts_ = o;
        response_ = -1;
        rt::startProcedure([this, request] {
            DctInit();
            if (opts_.before) opts_.before();
            {
                EnterByTabClass ebt;
                rt::WindowDesc d;
                d.title = "Klubovi";
                d.at = {0, 0, 442, 229};
                d.positioned = true;
                d.resizable = true;
                rt::Window w(d);
                buildWindow(w, opts_);
                GlobalRequest = request;
                ClubList p(opts_, w, ebt);
                GlobalResponse = p.Run();
            }
            response_ = GlobalResponse;
            if (opts_.after) opts_.after(GlobalResponse);
            DctKill();
        });
        auto v = waitWindow("Klubovi");
        EXPECT_TRUE(v) << "the list did not open";
        if (v) win_ = v->id;
        return v;
    }
    void close() {
        send(win_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
    }

    // The list as shown: the code column of each row, and the highlighted code.
    std::vector<int> codes() {
        std::vector<int> out;
        auto v = now(win_);
        if (!v) return out;
        for (const auto& r : v->controls.at(List - 1).list()->rows)
            out.push_back(std::stoi(std::string(r.at(0))));
        return out;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        auto v = now(win_);
        if (!v) return out;
        for (const auto& r : v->controls.at(List - 1).list()->rows) out.emplace_back(r.at(1));
        return out;
    }
    int highlighted() {
        auto v = now(win_);
        if (!v) return -1;
        const rt::ListPayload& c = *v->controls.at(List - 1).list();
        if (c.highlight < 1 || c.highlight > static_cast<int>(c.rows.size())) return 0;
        return std::stoi(std::string(c.rows[static_cast<std::size_t>(c.highlight - 1)].at(0)));
    }
    bool enabledOf(int control) { return now(win_)->controls.at(control - 1).enabled; }
    bool hiddenOf(int control) { return now(win_)->controls.at(control - 1).hidden; }
    void press(int k) { key(win_, k); }
    void chooseTab(int tab) { send(win_, rt::Input{rt::Input::Kind::TabChosen, tab}); }

    // The one dialog now open (waits for the program to settle first).
    std::vector<rt::OpenDialog> dialogs() {
        idle();
        return rt::openDialogs();
    }
    void answer(const rt::OpenDialog& d, rt::DialogAnswer a) {
        rt::answerDialog(d.id, a);
        idle();
    }

    testsupport::TempDir dir_;
    windowtest::NullBackend backend_;
    Options opts_;
    std::atomic<int> response_{-1};
    int win_ = 0;
};

}  // namespace browsetest
