// The charging run: the club looked up in PLAND, the document and date
// written on every line, the run counter that numbers the lines of each
// press of "Dalje", and the count of the lines written by this window.
#include "fees/zaduzenje_clanar.h"

#include <cstdint>
#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "fees/charge.h"
#include "framework/error.h"
#include "framework/globals.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"
#include "framework/window_procedure.h"
#include "runtime/dialogs.h"
#include "runtime/money.h"
#include "runtime/text.h"
#include "runtime/window/window.h"

namespace {

// The window's own variables; they live as long as the window.
struct Locals {
    std::int32_t W1_SIP = 0;  // the club
    rt::Text<25> W1_DOK;      // the document of every line
    std::int32_t W1_DAD = 0;  // the date of every line
    std::int32_t W1_RED = 0;  // the run counter: the running number of the run's lines
    std::int32_t W1_BRS = 0;  // the lines this window has written, over all its runs
};

struct Controls {
    int club = 0, clubButton = 0, clubName = 0, document = 0, date = 0, ok = 0, count = 0,
        cancel = 0;
};

// In creation order, as the window numbers its controls.
Controls Build(rt::Window& w, Locals& l) {
    Controls c;
    auto entry = [&](const char* name, const char* prompt, kit::Point promptAt, rt::Rect at,
                     const char* picture, const char* tip, rt::Binding value, bool right) {
        kit::AddPrompt(w, 0, std::string(name) + ":Prompt", prompt, promptAt);
        rt::Control e;
        e.kind = rt::ControlKind::Entry;
        e.name = name;
        e.at = at;
        e.picture = picture;
        e.msg = e.tip = kit::WindowText(tip);
        if (right) {
            e.align = rt::Align::Right;
            e.indent = 1;
        }
        e.value = std::move(value);
        return w.add(std::move(e));
    };
    c.club = entry("?L1:W1_SIP", "Šifra PD:", {8, 10}, {72, 10, 24, 10}, "@n_3", "Šifra PD",
                   rt::bind(l.W1_SIP), true);
    c.clubButton = kit::AddLookupButton(w, 0, "?CallLookup:2", {98, 9, 12, 12});
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    c.clubName = kit::AddString(w, 0, "?PLA:P1_NPD", {114, 10, 180, 10}, "@s50",
                                kit::BindField(clubs, rt::FieldOf(clubs, "PLA:P1_NPD").index));
    c.document =
        entry("?L1:W1_DOK", "Broj dokumenta:", {8, 26}, {72, 26, 104, 10}, "@s25", "Broj dokumenta",
              rt::bindText(l.W1_DOK.bytes.data(), l.W1_DOK.bytes.size()), false);
    c.date = entry("?L1:W1_DAD", "Datum:", {8, 42}, {72, 42, 50, 10}, "@d6.", "Datum",
                   rt::bind(l.W1_DAD), true);
    rt::Control ok = kit::PushButton("?OkButton", "Dalje", {190, 68, 48, 14}, "", "");
    ok.isDefault = true;
    c.ok = w.add(std::move(ok));
    kit::AddPrompt(w, 0, "?String3", "Broj slogova:", {8, 70});
    rt::Control count;
    count.kind = rt::ControlKind::String;
    count.name = "?L1:W1_BRS";
    count.at = {60, 70, 30, 10};
    count.picture = "@n_6";
    count.align = rt::Align::Right;
    count.value = rt::bind(l.W1_BRS);
    w.add(std::move(count));
    c.cancel = w.add(kit::PushButton("?CancelButton", "Izlaz", {244, 68, 48, 14}, "", ""));
    return c;
}

void Say(const char* text) {
    rt::MessageRequest m;
    m.text = text;
    rt::showMessage(m);
}

class ChargeWindow : public LookupWindow<WindowProcedure> {
  public:
    ChargeWindow(Locals& l, const Controls& c, rt::Window& w, EnterByTabClass& ebt,
                 ToolbarClass& tb)
        : LookupWindow<WindowProcedure>("ZaduzenjeCLANAR", w, ebt, &tb), l_(l), c_(c) {
        AddFiles({Relate::CLANAR, Relate::CLANOVI, Relate::KATEG, Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = l.W1_SIP,
                     .NameControl = c.clubName});
    }

  protected:
    int ChooseFirstField() override {
        return c_.club - 1;
    }  // its prompt: the focus lands in the entry
    void RegisterButtons() override { AddItem(c_.cancel, ::Response::Cancelled); }

    // Entering the date with no document sends the user back to the document.
    Level TakeSelected() override {
        if (Win->field() == c_.date && rt::trimRight(l_.W1_DOK.view()).empty()) {
            Say("Broj dokumenta mora biti unešen");
            Win->select(c_.document);
            return Level::Notify;
        }
        return LookupWindow<WindowProcedure>::TakeSelected();
    }

    Level TakeAccepted() override {
        if (Win->field() == c_.ok) Charge();
        return LookupWindow<WindowProcedure>::TakeAccepted();
    }

  private:
    // One press of "Dalje": the counter advances whatever follows; a run
    // needs a date and a document; its lines are stored all together or not
    // at all, and only stored lines are counted.
    void Charge() {
        Update();
        ++l_.W1_RED;
        if (l_.W1_DAD == 0) {
            Say("Polje datum mora biti popunjeno");
            Win->select(c_.date);
            return;
        }
        if (rt::trimRight(l_.W1_DOK.view()).empty()) {
            Say("Broj dokumenta mora biti unešen");
            Win->select(c_.document);
            return;
        }
        const fees::ChargeOutcome o =
            fees::ChargeClub(l_.W1_SIP, l_.W1_DOK.view(), l_.W1_DAD, l_.W1_RED);
        if (o.error != 0) {
            ErrorClass& errors = GlobalErrors();
            errors.SetErrors(o.error, o.status.fileErrorCode, o.status.fileError);
            errors.SetFile(Access::CLANAR->FileNameValue);
            errors.Throw(Msg::AddFailed);
            Win->display();
            return;
        }
        l_.W1_BRS += o.stored;
        Win->display();
        if (o.skipped == 0) {
            Say("Posao je korektno obavljen");
        } else {
            const std::string text =
                "Posao je obavljen. Upisano slogova: " + std::to_string(o.stored) +
                ", već postojećih: " + std::to_string(o.skipped);
            Say(text.c_str());
        }
    }

    Locals& l_;
    const Controls& c_;
};

}  // namespace

void ZaduzenjeCLANAR() {
    Locals L1;
    EnterByTabClass EnterByTabManager;
    rt::WindowDesc d = kit::ChildWindowDesc(299, 90, "Zaduženje za članarinu");
    d.resizable = false;
    rt::Window Window(d);
    const Controls ids = Build(Window, L1);
    ToolbarClass Toolbar;
    ChargeWindow ThisWindow(L1, ids, Window, EnterByTabManager, Toolbar);
    GlobalResponse = ThisWindow.Run();
}
