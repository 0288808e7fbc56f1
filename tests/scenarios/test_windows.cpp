#include "tests/scenarios/test_windows.h"
#include "tests/support/test_report.h"

#include <string>

#include "codelists/select_windows.h"
#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/frame/cp1250.h"
#include "core/frame/procedures.h"
#include "framework/globals.h"
#include "framework/lookup.h"
#include "framework/window_procedure.h"
#include "runtime/window/window.h"

namespace {

enum Ctl : int {
    ClubPrompt = 1,
    Club,
    CallLookup,
    Name,
    Seat,
    Mail,
    NumberPrompt,
    Number,
    Code,
    OK,
    Cancel,
};

// The thread's record buffers, reached through the dictionary: UBSan (GCC
// 12) misreads a direct member access to another unit's thread_local record
// as one through a null pointer.
DOKAN_Record* dokan() {
    return static_cast<DOKAN_Record*>(fileStructure(FileId::DOKAN).record());
}
PLAND_Record* pland() {
    return static_cast<PLAND_Record*>(fileStructure(FileId::PLAND).record());
}

void BuildWindow(rt::Window& w) {
    DOKAN_Record* const dok = dokan();
    PLAND_Record* const pla = pland();
    auto add = [&](rt::ControlKind kind, const char* name, const char* text, rt::Rect at) {
        rt::Control c;
        c.kind = kind;
        c.name = name;
        c.text = Cp1250(text);
        c.at = at;
        return w.add(std::move(c));
    };
    add(rt::ControlKind::Prompt, "?DOK:D1_SIP:Prompt", "Šifra PD:", {4, 8, 40, 10});
    add(rt::ControlKind::Entry, "?DOK:D1_SIP", "", {50, 8, 30, 10});
    w.control(Club).value = rt::bind(dok->D1_SIP);
    w.control(Club).picture = "@n_3";
    w.control(Club).align = rt::Align::Right;
    add(rt::ControlKind::Button, "?CallLookup", "...", {82, 7, 12, 12});
    w.control(CallLookup).skip = true;
    add(rt::ControlKind::String, "?PLA:P1_NPD", "", {98, 8, 150, 10});
    w.control(Name).value = rt::bindText(pla->P1_NPD.bytes.data(), pla->P1_NPD.bytes.size());
    w.control(Name).picture = "@s50";
    add(rt::ControlKind::String, "?PLA:P1_SJD", "", {98, 20, 150, 10});
    w.control(Seat).value = rt::bindText(pla->P1_SJD.bytes.data(), pla->P1_SJD.bytes.size());
    w.control(Seat).picture = "@s30";
    add(rt::ControlKind::String, "?PLA:P1_EML", "", {98, 32, 150, 10});
    w.control(Mail).value = rt::bindText(pla->P1_EML.bytes.data(), pla->P1_EML.bytes.size());
    w.control(Mail).picture = "@s30";
    add(rt::ControlKind::Prompt, "?DOK:D1_BRJ:Prompt", "Broj:", {4, 46, 40, 10});
    add(rt::ControlKind::Entry, "?DOK:D1_BRJ", "", {50, 46, 40, 10});
    w.control(Number).value = rt::bind(dok->D1_BRJ);
    w.control(Number).picture = "@n_8";
    add(rt::ControlKind::String, "?PLA:P1_SIP", "", {98, 46, 30, 10});
    w.control(Code).value = rt::bind(pla->P1_SIP);
    w.control(Code).picture = "@n_3";
    add(rt::ControlKind::Button, "?OK", "Uredu", {150, 70, 45, 14});
    w.control(OK).isDefault = true;
    add(rt::ControlKind::Button, "?Cancel", "Izlaz", {200, 70, 45, 14});
}

// Redraws every control from its variable, reading nothing: what the record
// buffers hold shows without a lookup or a reset.
constexpr int RedrawKey = rt::key::F1 + 4;  // F5

class TestLookupWindow : public LookupWindow<WindowProcedure> {
  public:
    TestLookupWindow(const char* name, bool form, rt::Window& w, EnterByTabClass& ebt,
                     ToolbarClass& tb)
        : LookupWindow<WindowProcedure>(name, w, ebt, &tb) {
        AddFiles({Relate::DOKAN, Relate::PLAND});
        Lookups.ResetKind = form ? LookupReset::ReadEveryRow : LookupReset::ReadNothing;
        // By name, as the other subsystems reach the code lists' select windows.
        AddLookupIn(
            Lookups, FileId::PLAND,
            {.Entry = Club, .Button = CallLookup, .Value = dokan()->D1_SIP, .NameControl = Name});
    }

  protected:
    int ChooseFirstField() override { return Club; }
    void RegisterButtons() override { AddItem(Cancel, ::Response::Cancelled); }

    Level TakeWindowEvent() override {
        const Level l = LookupWindow<WindowProcedure>::TakeWindowEvent();
        if (l == Level::Benign && Win->event() == rt::Event::OpenWindow) Reset(true);
        return l;
    }

    void SetAlerts() override {
        LookupWindow<WindowProcedure>::SetAlerts();
        Win->alert(RedrawKey);
    }

    Level TakeEvent() override {
        if (Win->event() == rt::Event::AlertKey && Win->keyCode() == RedrawKey) {
            Win->display();
            return Level::Notify;
        }
        return LookupWindow<WindowProcedure>::TakeEvent();
    }

    Level TakeAccepted() override {
        const Level l = LookupWindow<WindowProcedure>::TakeAccepted();
        if (l == Level::Benign && Win->field() == OK) Win->acceptAll();
        return l;
    }

    // Every control accepted: the row is stored; a failure has been shown
    // and the window stays open.
    Level TakeCompleted() override {
        if (Access::DOKAN->Insert() == Level::Benign) {
            Response = ::Response::Completed;
            Win->post(rt::Event::CloseWindow);
        }
        return Level::Benign;
    }
};

void RunTestLookup(const char* name, const char* title, bool form) {
    EnterByTabClass EnterByTabManager;
    rt::WindowDesc d;
    d.title = title;
    d.at = {0, 0, 260, 90};
    d.centred = true;
    d.grey = true;
    rt::Window Window(d);
    BuildWindow(Window);
    ToolbarClass Toolbar;
    TestLookupWindow ThisWindow(name, form, Window, EnterByTabManager, Toolbar);
    GlobalResponse = ThisWindow.Run();
}

// A caller of a select window with nothing of its own: the select request
// and the table's record buffer as the thread starts (code 0).
void RegisterSelectCaller(const char* name, void (*select)()) {
    RegisterProcedure(name, [select] {
        GlobalRequest = Request::Select;
        select();
    });
}

}  // namespace

void RegisterTestProcedures() {
    RegisterTestReport();
    RegisterSelectCaller("TestSelectPLANSA", SelectPLANSA);
    RegisterSelectCaller("TestSelectPLAND", SelectPLAND);
    RegisterSelectCaller("TestSelectPODPOS", SelectPODPOS);
    RegisterSelectCaller("TestSelectSTUPEM", SelectSTUPEM);
    RegisterSelectCaller("TestSelectNACION", SelectNACION);
    RegisterSelectCaller("TestSelectBRAST", SelectBRAST);
    RegisterSelectCaller("TestSelectKATEG", SelectKATEG);
    RegisterSelectCaller("TestSelectNACUC", SelectNACUC);
    RegisterSelectCaller("TestSelectTURPOS", SelectTURPOS);
    RegisterProcedure("TestLookup", [] { RunTestLookup("TestLookup", "Test lookup", false); });
    RegisterProcedure("TestLookupForm",
                      [] { RunTestLookup("TestLookupForm", "Test lookup form", true); });
    RegisterMemberTestProcedures();
}
