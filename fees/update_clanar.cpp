// The fee-ledger form: federation, club and member looked up with their
// names beside them, the running number, document, date and the two amounts;
// the line takes the category of its member, which has no entry of its own.
#include "fees/update_clanar.h"

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "framework/form_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"

thread_local CLANAR_Record History::CLA1;

namespace {

using kit::FormField;

rt::FileStructure& Ledger() {
    return fileStructure(FileId::CLANAR);
}

struct Controls {
    FormControls form;
    struct LookupControls {
        int entry = 0, button = 0;
    } lookup[3];
    int federationName = 0, clubName = 0, surname = 0, name = 0;
};

// In creation order: the sheet and its tab, then per line of the form its
// prompt, entry, "..." button and names; "Upis" and "Izlaz".
// clang-format off
Controls Build(rt::Window& w) {
    rt::FileStructure& l = Ledger();
    Controls c;
    const int sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 369, 155});
    const int tab = kit::AddTab(w, sheet, "?Tab:1", "Podaci");
    auto field = [&](const FormField& f) {
        const int index = rt::FieldOf(l, f.name + 1).index;
        const int id = kit::AddFormField(w, tab, f, l, index);
        c.form.history.push_back({id, index + 1});
        return id;
    };
    auto button = [&](const char* name, rt::Rect at) {
        return kit::AddLookupButton(w, tab, name, at);
    };
    auto name = [&](FileId file, const char* control, rt::Rect at, const char* picture) {
        rt::FileStructure& f = fileStructure(file);
        return kit::AddString(w, tab, control, at, picture,
                              kit::BindField(f, rt::FieldOf(f, control + 1).index));
    };
    c.lookup[0].entry = field({"Šifra PS:", {8, 22}, "?CLA1:CL_SPS", {72, 22, 20, 10}, "@n_2", false, "Šifra PS"});
    c.lookup[0].button = button("?CallLookup", {94, 21, 12, 12});
    c.federationName = name(FileId::PLANSA, "?PLA1:SP1_NPS", {110, 22, 200, 10}, "@s50");
    c.lookup[1].entry = field({"Šifra PD:", {8, 36}, "?CLA1:CL_SIP", {72, 36, 24, 10}, "@n_3", false, "Šifra PD"});
    c.lookup[1].button = button("?CallLookup:2", {98, 35, 12, 12});
    c.clubName = name(FileId::PLAND, "?PLA:P1_NPD", {114, 36, 200, 10}, "@s50");
    c.lookup[2].entry = field({"Šifra člana PD:", {8, 50}, "?CLA1:CL_SIF", {72, 50, 34, 10}, "@n_6", false, "Šifra člana PD"});
    c.lookup[2].button = button("?CallLookup:3", {108, 49, 12, 12});
    c.surname = name(FileId::CLANOVI, "?CLA:M1_PRE", {124, 50, 100, 10}, "@s25");
    c.name = name(FileId::CLANOVI, "?CLA:M1_IME", {228, 50, 80, 10}, "@s20");
    field({"Reddni broj:", {8, 64}, "?CLA1:CL_RED", {72, 64, 40, 10}, "@n_8", false, "Reddni broj"});
    field({"Broj dokumenta:", {8, 78}, "?CLA1:CL_DOK", {72, 78, 104, 10}, "@s25", false, "Broj dokumenta"});
    field({"Datum:", {8, 92}, "?CLA1:CL_DAD", {72, 92, 50, 10}, "@d6.", false, "Datum"});
    field({"Duguje:", {8, 106}, "?CLA1:CL_DUG", {72, 106, 64, 10}, "@n-14.`2", false, "Duguje"});
    field({"Potražuje:", {8, 120}, "?CLA1:CL_POD", {72, 120, 64, 10}, "@n-15.`2", false, "Potražuje"});
    c.form.ok = w.add(kit::OkButton("?OK", "Upis", {268, 164}));
    c.form.cancel = w.add(kit::CancelButton("?Cancel", "Izlaz", {321, 164}));
    c.form.first = c.lookup[0].entry - 1;  // its prompt: the focus lands in the entry
    return c;
}
// clang-format on

class LedgerForm : public LookupWindow<FormWindowProcedure> {
  public:
    LedgerForm(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
               WindowResizeClass& rs)
        : LookupWindow<FormWindowProcedure>("UpdateCLANAR",
                                            FormFile{Ledger(), accessOf(FileId::CLANAR),
                                                     relateOf(FileId::CLANAR), &History::CLA1},
                                            c.form, w, ebt, tb, rs) {
        // Every reset reads the federation, the club and the member again
        // from the line's codes; a code with no row shows blank names.
        Lookups.ResetKind = LookupReset::ReadEveryRow;
        struct Looked {
            FileId file;
            const char* value;
        };
        const Looked looked[] = {
            {FileId::PLANSA, "CLA1:CL_SPS"},
            {FileId::PLAND, "CLA1:CL_SIP"},
            {FileId::CLANOVI, "CLA1:CL_SIF"},
        };
        const int names[] = {c.federationName, c.clubName, c.surname};
        for (int n = 0; n < 3; ++n)
            AddLookupIn(Lookups, looked[n].file,
                        {.Entry = c.lookup[n].entry,
                         .Button = c.lookup[n].button,
                         .Value = kit::CodeField(Ledger(), looked[n].value),
                         .NameControl = names[n]});
    }

    // The controls into the line, and the category of the member in the
    // member buffer with them.
    void Update() override {
        LookupWindow<FormWindowProcedure>::Update();
        Line().CL_SIK = Member().M1_SIK;
    }

    // The category first, from the member the last reset or lookup read;
    // then the category's row, and the inherited reset reads the
    // federation, the club and the member again.
    void Reset(bool force = false) override {
        if (!InAcceptAllPass()) {
            Line().CL_SIK = Member().M1_SIK;
            rt::FileStructure& categories = fileStructure(FileId::KATEG);
            static_cast<KATEG_Record*>(categories.record())->K1_SIK = Line().CL_SIK;
            Access::KATEG->Fetch(rt::KeyOf(categories, "KAT:KeyK1_SIK"));
        }
        LookupWindow<FormWindowProcedure>::Reset(force);
    }

  protected:
    // A line opened for change shows the names of its own codes, and its
    // member's category is the one it takes, never what an earlier lookup
    // on this thread left in the buffers.
    Level AfterFilesOpened() override {
        const Level l = LookupWindow<FormWindowProcedure>::AfterFilesOpened();
        if (l == Level::Benign) Lookups.ReadAllRows();
        return l;
    }

    Level TakeWindowEvent() override {
        const Level l = LookupWindow<FormWindowProcedure>::TakeWindowEvent();
        if (l == Level::Benign && Win->event() == rt::Event::OpenWindow) Reset(true);
        return l;
    }

  private:
    static CLANAR_Record& Line() { return *static_cast<CLANAR_Record*>(Ledger().record()); }
    static CLANOVI_Record& Member() {
        return *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
    }
};

}  // namespace

void UpdateCLANAR() {
    RunWindow<LedgerForm>(kit::ChildWindowDesc(377, 183, "Evidencija članarine"), Build);
}
