// Test-only windows over the member register (test_windows.h).
#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/frame/cp1250.h"
#include "core/frame/procedures.h"
#include "framework/globals.h"
#include "framework/lookup.h"
#include "framework/window_procedure.h"
#include "members/select_clanovi.h"
#include "runtime/window/window.h"
#include "tests/scenarios/test_windows.h"

namespace {

enum Ctl : int {
    FromPrompt = 1,
    From,
    CallFrom,
    ToPrompt,
    To,
    CallTo,
    Surname,
    Name,
    Father,
    Code,
    Card,
    Cancel,
};

// The thread's member buffer, reached through the dictionary (see
// test_windows.cpp).
CLANOVI_Record* members() {
    return static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
}

void BuildWindow(rt::Window& w) {
    CLANOVI_Record* const cla = members();
    auto add = [&](rt::ControlKind kind, const char* name, const char* text, rt::Rect at) {
        rt::Control c;
        c.kind = kind;
        c.name = name;
        c.text = Cp1250(text);
        c.at = at;
        return w.add(std::move(c));
    };
    auto text = [&](const char* name, auto& field, const char* picture, rt::Rect at) {
        const int id = add(rt::ControlKind::String, name, "", at);
        w.control(id).value = rt::bindText(field.bytes.data(), field.bytes.size());
        w.control(id).picture = picture;
    };
    add(rt::ControlKind::Prompt, "?G1:W1_SIFOD:Prompt", "od:", {4, 8, 20, 10});
    add(rt::ControlKind::Entry, "?G1:W1_SIFOD", "", {30, 8, 40, 10});
    w.control(From).value = rt::bindAtomic(G1::W1_SIFOD);
    w.control(From).picture = "@n_6";
    add(rt::ControlKind::Button, "?CallLookup", "...", {72, 7, 12, 12});
    w.control(CallFrom).skip = true;
    add(rt::ControlKind::Prompt, "?G1:W1_SIFDO:Prompt", "do:", {4, 22, 20, 10});
    add(rt::ControlKind::Entry, "?G1:W1_SIFDO", "", {30, 22, 40, 10});
    w.control(To).value = rt::bindAtomic(G1::W1_SIFDO);
    w.control(To).picture = "@n_6";
    add(rt::ControlKind::Button, "?CallLookup:2", "...", {72, 21, 12, 12});
    w.control(CallTo).skip = true;
    text("?CLA:M1_PRE", cla->M1_PRE, "@s25", {90, 8, 100, 10});
    text("?CLA:M1_IME", cla->M1_IME, "@s20", {90, 20, 100, 10});
    text("?CLA:M1_IOC", cla->M1_IOC, "@s20", {90, 32, 100, 10});
    add(rt::ControlKind::String, "?CLA:M1_SIF", "", {90, 44, 40, 10});
    w.control(Code).value = rt::bind(cla->M1_SIF);
    w.control(Code).picture = "@n_6";
    text("?CLA:M1_BLK", cla->M1_BLK, "@s20", {90, 56, 100, 10});
    add(rt::ControlKind::Button, "?Cancel", "Izlaz", {200, 70, 45, 14});
}

constexpr int RedrawKey = rt::key::F1 + 4;  // F5: redraw from the buffers, reading nothing

// The member-code range of a query window: both entries open the one member
// select window (one hook number), over all members.
class TestMemberLookupWindow : public LookupWindow<WindowProcedure> {
  public:
    TestMemberLookupWindow(rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb)
        : LookupWindow<WindowProcedure>("TestMemberLookup", w, ebt, &tb) {
        AddFiles({Relate::CLANOVI});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = From, .Button = CallFrom, .Value = G1::W1_SIFOD});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = To, .Button = CallTo, .Value = G1::W1_SIFDO});
    }

  protected:
    int ChooseFirstField() override { return From; }
    void RegisterButtons() override { AddItem(Cancel, ::Response::Cancelled); }

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
};

void RunTestMemberLookup() {
    EnterByTabClass EnterByTabManager;
    rt::WindowDesc d;
    d.title = "Test member lookup";
    d.at = {0, 0, 260, 90};
    d.centred = true;
    d.grey = true;
    rt::Window Window(d);
    BuildWindow(Window);
    ToolbarClass Toolbar;
    TestMemberLookupWindow ThisWindow(Window, EnterByTabManager, Toolbar);
    GlobalResponse = ThisWindow.Run();
}

}  // namespace

void RegisterMemberTestProcedures() {
    RegisterProcedure("TestSelectCLANOVI", [] {
        GlobalRequest = Request::Select;
        SelectCLANOVI();
    });
    RegisterProcedure("TestMemberLookup", RunTestMemberLookup);
}
