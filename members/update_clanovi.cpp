// The member form: all thirty fields of a member on three tabs, eight codes
// looked up in their code lists with each name beside its code, read again
// on every reset, and the photo picker.
#include "members/update_clanovi.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "framework/form_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"
#include "members/photo_path.h"
#include "runtime/text.h"
#include "runtime/window/window.h"

thread_local CLANOVI_Record History::CLA;

namespace {

using kit::FormField;

rt::FileStructure& Members() {
    return fileStructure(FileId::CLANOVI);
}

// A code entry with its lookup: the code list (whose select window it
// opens), the name shown beside the code.
struct CodeLookup {
    FormField layout;
    const char* button;  // "?CallLookup:5"
    rt::Rect buttonAt;
    FileId list;
    const char* name;  // the name string's control: "?PLA1:SP1_NPS"
    rt::Rect nameAt;
    const char* namePicture;
};

// The eight lookups in hook order (1 federation ... 8 employer); they are
// built on their tabs in the order the form numbers its controls.
// clang-format off
const std::vector<CodeLookup>& MemberLookups() {
    static const std::vector<CodeLookup> lookups = {
        {{"Šifra PS:", {8, 20}, "?CLA:M1_SPS", {92, 20, 20, 10}, "@n_2", false, nullptr},
         "?CallLookup:5", {114, 19, 12, 12}, FileId::PLANSA,
         "?PLA1:SP1_NPS", {130, 20, 190, 10}, "@s50"},
        {{"Šifra PD:", {8, 33}, "?CLA:M1_SIP", {92, 33, 24, 10}, "@n_3", false, nullptr},
         "?CallLookup", {118, 32, 12, 12}, FileId::PLAND,
         "?PLA:P1_NPD", {134, 33, 186, 10}, "@s50"},
        {{"Kvalifikacija:", {8, 163}, "?CLA:M1_KVA", {92, 163, 20, 10}, "@n_2", false, nullptr},
         "?CallLookup:6", {114, 162, 12, 12}, FileId::STUPEM,
         "?STU:STU_NAS", {130, 163, 80, 10}, "@s15"},
        {{"Šifra bračnog stanja:", {8, 189}, "?CLA:M1_SIB", {92, 189, 20, 10}, "@n_2", false, nullptr},
         "?CallLookup:2", {114, 188, 12, 12}, FileId::BRAST,
         "?BRA:B1_BRS", {130, 189, 100, 10}, "@s20"},
        {{"Šifra nacionalnosti:", {8, 202}, "?CLA:M1_SIN", {92, 202, 20, 10}, "@n_2", false, nullptr},
         "?CallLookup:3", {114, 201, 12, 12}, FileId::NACION,
         "?NAC:N1_NAC", {130, 202, 100, 10}, "@s20"},
        {{"Šifra načina učlanjivanja u PD:", {8, 33}, "?CLA:M1_SNU", {130, 33, 20, 10}, "@n_2", false,
          "Broj članske karte"},
         "?CallLookup:4", {152, 32, 12, 12}, FileId::NACUC,
         "?NA1:NA1_NAZ", {168, 33, 150, 10}, "@s30"},
        {{"Šifra kategorije članstva:", {8, 20}, "?CLA:M1_SIK", {130, 20, 20, 10}, "@n_2", false, nullptr},
         "?CallLookup:7", {152, 19, 12, 12}, FileId::KATEG,
         "?KAT:K1_NAZ", {168, 20, 150, 10}, "@s30"},
        {{"Šifra preduzeća u kom radi čl.PD:", {8, 33}, "?CLA:M1_SIU", {130, 33, 24, 10}, "@n_3", false,
          nullptr},
         "?CallLookup:8", {156, 32, 12, 12}, FileId::PODPOS,
         "?POD:PD1_NAP", {172, 33, 146, 10}, "@s30"},
    };
    return lookups;
}
// clang-format on

// The controls the form refers to; every other one is a prompt, an entry or
// a name string.
struct Controls {
    FormControls form;  // first, OK, Cancel and the history fields
    struct LookupControls {
        int entry = 0, button = 0, name = 0;
    } lookup[8];
    int photoButton = 0, image = 0;
    int sheet = 0;
};

class Builder {
  public:
    Builder(rt::Window& w, Controls& c) : w_(w), c_(c), m_(Members()) {}

    // A prompt and its entry (or text box); a history control of its field.
    int field(int tab, const FormField& f) {
        const int index = rt::FieldOf(m_, f.name + 1).index;
        const int id = kit::AddFormField(w_, tab, f, m_, index);
        c_.form.history.push_back({id, index + 1});
        return id;
    }
    // A code entry, its "..." button (passed over by Tab) and the name.
    void lookup(int tab, int n) {
        const CodeLookup& l = MemberLookups()[static_cast<std::size_t>(n)];
        Controls::LookupControls& ids = c_.lookup[n];
        ids.entry = field(tab, l.layout);
        ids.button = kit::AddLookupButton(w_, tab, l.button, l.buttonAt);
        rt::FileStructure& list = fileStructure(l.list);
        const rt::FieldRef name = rt::FieldOf(list, l.name + 1);
        ids.name = kit::AddString(w_, tab, l.name, l.nameAt, l.namePicture,
                                  kit::BindField(list, name.index));
    }
    int text(int tab, const char* prompt, kit::Point at, const char* name, rt::Rect box,
             const char* tip = nullptr) {
        return field(tab, {prompt, at, name, box, "", true, tip});
    }

  private:
    rt::Window& w_;
    Controls& c_;
    rt::FileStructure& m_;
};

// In creation order, as the form numbers its controls: the sheet, then each
// tab with its prompts, entries, lookup buttons and names, then "Uredu" and
// "Izlaz".
// clang-format off
Controls Build(rt::Window& w) {
    Controls c;
    Builder b(w, c);
    rt::FileStructure& m = Members();
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 325, 246});

    const int tab1 = kit::AddTab(w, c.sheet, "?Tab:1", "Podaci-1");
    b.lookup(tab1, 0);
    b.lookup(tab1, 1);
    b.field(tab1, {"Šifra člana PD:", {8, 46}, "?CLA:M1_SIF", {92, 46, 34, 10}, "@n_6", false, nullptr});
    b.field(tab1, {"Prezime:", {8, 59}, "?CLA:M1_PRE", {92, 59, 110, 10}, "@s25", false, nullptr});
    b.field(tab1, {"Ime:", {8, 72}, "?CLA:M1_IME", {92, 72, 90, 10}, "@s20", false, nullptr});
    b.field(tab1, {"Ime oca:", {8, 85}, "?CLA:M1_IOC", {92, 85, 90, 10}, "@s20", false, nullptr});
    b.field(tab1,
            {"Broj lične karte:", {8, 98}, "?CLA:M1_BLK", {92, 98, 90, 10}, "@s20", false, nullptr});
    // The status: the first radio stores 1 ("Stalni"), the second 2; any
    // other value selects neither.
    const int status = rt::FieldOf(m, "CLA:M1_STC").index;
    const int box = kit::AddOptionBox(
        w, tab1, "?CLA:M1_STC", "Status članstva", {212, 56, 108, 40}, kit::BindField(m, status),
        {{"?CLA:M1_STC:Radio1", "Stalni", {218, 67, 80, 10}},
         {"?CLA:M1_STC:Radio2", "Povremeni", {218, 80, 80, 10}}},
        "Status člansta");
    c.form.history.push_back({box, status + 1});
    b.field(tab1, {"Jed.broj mat.registra:", {8, 111}, "?CLA:M1_JMB", {92, 111, 70, 10}, "@s15",
                   false, nullptr});
    b.field(tab1,
            {"Datum rođenja:", {8, 124}, "?CLA:M1_DRO", {92, 124, 50, 10}, "@d6.", false, nullptr});
    b.field(tab1, {"Adresa stanovanja:", {8, 137}, "?CLA:M1_ADR", {92, 137, 228, 10}, "@s50", false,
                   nullptr});
    b.field(tab1, {"Mjesto stanovanja:", {8, 150}, "?CLA:M1_MST", {92, 150, 140, 10}, "@s30", false,
                   nullptr});
    b.lookup(tab1, 2);
    b.field(tab1, {"Zanimanje:", {8, 176}, "?CLA:M1_ZAN", {92, 176, 228, 10}, "@s50", false, nullptr});
    b.lookup(tab1, 3);
    b.lookup(tab1, 4);
    b.field(tab1, {"Član PD od datuma:", {8, 215}, "?CLA:M1_CDA", {92, 215, 50, 10}, "@d6.", false,
                   nullptr});
    b.field(tab1, {"Datum učlanjenja u PD:", {8, 228}, "?CLA:M1_DCA", {92, 228, 50, 10}, "@d6.",
                   false, nullptr});

    const int tab2 = kit::AddTab(w, c.sheet, "?Tab:2", "Podaci-2");
    b.field(tab2, {"Evidencioni broj u PD:", {8, 20}, "?CLA:M1_EVB", {130, 20, 50, 10}, "@s10",
                   false, "Evidencioni broj "});
    b.lookup(tab2, 5);
    b.text(tab2, "Predhodna člansta u PD:", {8, 48}, "?CLA:M1_CLP", {8, 58, 312, 47});
    b.text(tab2, "Planinarska priznanja, pohvale i nagrade u PD:", {8, 110}, "?CLA:M1_PRZ",
           {8, 120, 312, 47}, "Planinarska priznanja u PD");
    b.text(tab2, "Planinarska stručna zvanja u PD:", {8, 172}, "?CLA:M1_NIZ", {8, 182, 312, 47},
           "Šifra zvanja u PD");

    const int tab3 = kit::AddTab(w, c.sheet, "?Tab3", "Podaci-3");
    b.lookup(tab3, 6);
    b.lookup(tab3, 7);
    b.field(tab3, {"Broj fiksnog telefona:", {8, 46}, "?CLA:M1_FTE", {130, 46, 90, 10}, "@s20",
                   false, "Broj fiksnog telefoba"});
    b.field(tab3, {"Broj mobilnog telefona:", {8, 59}, "?CLA:M1_FMO", {130, 59, 90, 10}, "@s20",
                   false, nullptr});
    b.field(tab3, {"Email:", {8, 72}, "?CLA:M1_EML", {130, 72, 130, 10}, "@s30", false, nullptr});
    b.field(tab3,
            {"Put do fotosa:", {8, 85}, "?CLA:M1_PUS", {130, 85, 190, 10}, "@s60", false, nullptr});
    rt::Control pick = kit::PushButton("?LookupFile:2", "Prodanađi Fotos", {130, 98, 70, 14}, "", "");
    pick.parent = tab3;
    c.photoButton = w.add(std::move(pick));
    // Stretched over the box the picker's fitting leaves it.
    c.image = kit::AddPicture(w, tab3, "?Image1", {209, 98, 111, 82}, rt::ImagePayload::Mode::Stretch);
    b.text(tab3, "Napomena:", {8, 184}, "?CLA:M1_NAP", {8, 194, 312, 47});

    c.form.ok = w.add(kit::OkButton("?OK", "Uredu", {226, 254}));
    c.form.cancel = w.add(kit::CancelButton("?Cancel", "Izlaz", {279, 254}));
    c.form.first = c.lookup[0].entry - 1;  // the first prompt: the focus lands in its entry
    return c;
}
// clang-format on

class MemberForm : public LookupWindow<FormWindowProcedure> {
  public:
    MemberForm(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
               WindowResizeClass& rs)
        : LookupWindow<FormWindowProcedure>("UpdateCLANOVI",
                                            FormFile{Members(), accessOf(FileId::CLANOVI),
                                                     relateOf(FileId::CLANOVI), &History::CLA},
                                            c.form, w, ebt, tb, rs),
          c_(c) {
        // Every reset reads the eight names again from the member's codes:
        // employer, way of joining, category, qualification, federation,
        // nationality, marital state, club.
        Lookups.ResetKind = LookupReset::ReadEveryRow;
        Lookups.SetResetOrder({7, 5, 6, 2, 0, 4, 3, 1});
        for (std::size_t n = 0; n < 8; ++n) {
            const CodeLookup& l = MemberLookups()[n];
            AddLookupIn(Lookups, l.list,
                        {.Entry = c.lookup[n].entry,
                         .Button = c.lookup[n].button,
                         .Value = kit::CodeField(Members(), l.layout.name + 1),
                         .NameControl = c.lookup[n].name});
        }
    }

  protected:
    // The window opens showing the names of the member's codes.
    Level TakeWindowEvent() override {
        const Level l = LookupWindow<FormWindowProcedure>::TakeWindowEvent();
        if (l == Level::Benign && Win->event() == rt::Event::OpenWindow) Reset(true);
        return l;
    }

    Level TakeAccepted() override {
        const Level l = LookupWindow<FormWindowProcedure>::TakeAccepted();
        if (l != Level::Benign) return l;
        if (Win->field() == c_.photoButton) PickPhoto();
        return l;
    }

  private:
    CLANOVI_Record& Member() { return *static_cast<CLANOVI_Record*>(Members().record()); }

    // The photo picker: the file chosen in the dialog becomes the member's
    // photo path, cut to its 60 characters (blank when the dialog is
    // cancelled); a file in the current directory is stored as its bare
    // name in upper case. The picture shows the path as stored, fitted into
    // the box the control has now. A path Windows-1250 cannot hold is
    // refused as typed input is: a beep, and the path stays as it was.
    void PickPhoto() {
        Update();
        rt::FileDialogRequest request;
        request.title = "Fotos";
        request.filters = {{"All Files", "*.*"}};
        request.mustExist = true;
        std::string picked;
        if (const std::optional<std::string> chosen = rt::fileDialog(request)) {
            const std::optional<std::string> cp1250 = rt::fromUtf8(*chosen);
            if (!cp1250) {
                rt::beep();
                return;
            }
            picked = *cp1250;
        }
        CLANOVI_Record& m = Member();
        m.M1_PUS.assign(picked);
        Win->display();
        if (!rt::trimRight(picked).empty()) {
            Win->setPicture(c_.image, picked, true);
            Win->hide(c_.image, false);
        }
        // A file in the current directory keeps its bare name (this system
        // has no short form of the directory: it is compared as it stands).
        std::error_code ec;
        const std::filesystem::path current = std::filesystem::current_path(ec);
        const std::optional<std::string> directory =
            ec ? std::nullopt : rt::fromUtf8(current.string());
        if (directory) {
            const std::string stored = members::StoredPhotoPath(m.M1_PUS.view(), *directory);
            if (stored != rt::trimRight(m.M1_PUS.view())) {
                m.M1_PUS.assign(stored);
                Win->display();
            }
        }
        Win->setPicture(c_.image, rt::trimRight(m.M1_PUS.view()), true);
    }

    const Controls& c_;
};

}  // namespace

void UpdateCLANOVI() {
    RunWindow<MemberForm>(kit::ChildWindowDesc(333, 273, "Članovi PD"), Build);
}
