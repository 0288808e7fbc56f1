// The member list: every member of every federation and club in one of eight
// orders, the highlighted member's photo beside the list and a few of his
// data, the names of his qualification, marital state and nationality among
// them, under it. Members are added, changed and deleted through the member
// form.
#include "members/browse_clanovi.h"

#include <vector>

#include "core/dictionary/dictionary.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"
#include "members/update_clanovi.h"

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

// One column per queue field, the thirty member fields in their order. The
// three long texts and the remark show their first 255 characters.
// clang-format off
const std::vector<ColumnLayout>& Columns() {
    static const std::vector<ColumnLayout> columns = {
        {"Šifra PS", 1, 30, R, 2, C, "@n_2"},
        {"Šifra PD", 2, 29, R, 2, C, "@n_3"},
        {"Šifra člana PD", 3, 47, R, 2, C, "@n_6"},
        {"Prezime", 4, 111, L, 2, L, "@s25"},
        {"Ime", 5, 93, L, 2, L, "@s20"},
        {"Ime oca", 6, 90, L, 2, L, "@s20"},
        {"Broj lične karte", 7, 80, L, 2, L, "@s20"},
        {"Jed.broj mat.registra", 8, 80, L, 2, C, "@s15"},
        {"Datum rođenja", 9, 61, R, 2, C, "@d6."},
        {"Adresa stanovanja", 10, 80, L, 2, L, "@s50"},
        {"Mjesto stanovanja", 11, 120, L, 2, L, "@s30"},
        {"Kvalifikacija", 12, 26, R, 2, L, "@n_2"},
        {"Zanimanje", 13, 200, R, 2, L, "@s50"},
        {"Šifra bračnog stanja", 14, 21, R, 2, L, "@n_2"},
        {"Šifra nacionalnosti", 15, 20, R, 2, L, "@n_2"},
        {"Status članstva", 16, 27, R, 2, L, "@n1"},
        {"Član PD od", 17, 49, R, 2, L, "@d6."},
        {"Datum učlanjenja u PD", 18, 71, R, 2, C, "@d6."},
        {"Evidencioni broj u PD", 19, 50, L, 2, L, "@s10"},
        {"Šifra načina učlanjivanja u PD", 20, 19, R, 2, L, "@n_2"},
        {"Predhodna člansta u PD", 21, 1020, R, 2, L, "@s255"},
        {"Planinarska priznanja u PD", 22, 1020, R, 2, L, "@s255"},
        {"Planinarska stručnba zvanja u PD", 23, 1020, R, 2, L, "@s255"},
        {"Šifra kategorije članstva", 24, 8, R, 2, L, "@n_2"},
        {"Šifra preduzeća", 25, 19, R, 2, L, "@n_3"},
        {"Broj fiksnog telefoba", 26, 80, R, 2, L, "@s20"},
        {"Broj mobilnog telefona", 27, 80, L, 2, L, "@s20"},
        {"Email", 28, 120, R, 2, L, "@s30"},
        {"Put do fotosa", 29, 240, R, 2, L, "@s60"},
        {"Napomena", 30, 1020, R, 2, L, "@s255"},
    };
    return columns;
}
// clang-format on

// The eight sort orders. Each of the seven tabs chooses its own order and
// carries the locator entry over the order's first key field; the eighth,
// the member-code order, is the default when the sheet reports no tab.
enum class Thumb { Fixed, Numeric, Text };

struct MemberOrder {
    const char* tabText;  // nullptr: the default order, on no tab
    const char* key;
    const char* field;  // the locator's field
    Thumb thumb;
    kit::LocatorEntry entry;  // name nullptr: the entry of the tab before
};

// clang-format off
const std::vector<MemberOrder>& Orders() {
    static const std::vector<MemberOrder> orders = {
        {"Šifra PD", "CLA:KeyM1_SIP", "CLA:M1_SIP", Thumb::Fixed,
         {"?CLA:M1_SIP", {8, 20, 28, 10}, "@n_3", "Šifra PD", true}},
        {"Šifra člana PD", "CLA:KeyM1_SIF", "CLA:M1_SIF", Thumb::Numeric,
         {"?CLA:M1_SIF", {8, 20, 40, 10}, "@n_6", "Šifra člana PD", true}},
        {"Prezime", "CLA:KeyM1_PRE", "CLA:M1_PRE", Thumb::Text,
         {"?CLA:M1_PRE", {8, 20, 110, 10}, "@s25", "Prezime", false}},
        {"Ime", "CLA:KeyM1_IME", "CLA:M1_IME", Thumb::Text,
         {"?CLA:M1_IME", {8, 20, 90, 10}, "@s20", "Ime", false}},
        {"Ime oca", "CLA:KeyM1_IOC", "CLA:M1_IOC", Thumb::Text,
         {"?CLA:M1_IOC", {8, 20, 90, 10}, "@s20", "Ime oca", false}},
        {"JBMG", "CLA:KeyM1_JMB", "CLA:M1_JMB", Thumb::Text,
         {"?CLA:M1_JMB", {8, 20, 70, 10}, "@s15", "Jed.broj mat.registra", false}},
        // The tab names a membership card; its order and entry are the way
        // of joining, typed through a text picture.
        {"Broj član.karte", "CLA:KeyM1_SNU", "CLA:M1_SNU", Thumb::Fixed,
         {"?CLA:M1_BCL:2", {8, 20, 90, 10}, "@s20", "Broj članske karte", false}},
        {nullptr, "CLA:KeyM1_SIF", "CLA:M1_SIF", Thumb::Numeric, {nullptr, {}, "", "", false}},
    };
    return orders;
}
// clang-format on

constexpr int Tabs = 7;

// The queue's fields after the thirty of the member: the names the detail
// area shows and the joined codes.
const std::vector<const char*>& JoinedFields() {
    static const std::vector<const char*> fields = {"STU:STU_NAS", "BRA:B1_BRS", "NAC:N1_NAC",
                                                    "NAC:N1_SIN",  "BRA:B1_SIB", "STU:STU_KVA"};
    return fields;
}

struct Controls {
    int image = 0, list = 0, insert = 0, change = 0, del = 0, close = 0, sheet = 0;
    int tab[Tabs] = {};
    int entry[Tabs] = {};
};

rt::FileStructure& Members() {
    return fileStructure(FileId::CLANOVI);
}

// The joined field by its label, in whichever of the three code lists.
rt::FieldRef Joined(const char* label) {
    for (FileId f : {FileId::STUPEM, FileId::BRAST, FileId::NACION})
        if (fileStructure(f).def().fieldIndex(label) >= 0)
            return kit::FieldOf(fileStructure(f), label);
    return kit::FieldOf(Members(), label);  // throws: no such field
}

int AddLine(rt::Window& w, rt::Rect at) {
    rt::Control line;
    line.kind = rt::ControlKind::Line;
    line.name = "?Line";
    line.at = at;
    return w.add(std::move(line));
}

// The detail area under the list: data of the highlighted member, read from
// the record buffers, which follow the highlight.
void BuildDetail(rt::Window& w) {
    rt::FileStructure& m = Members();
    auto show = [&](const char* caption, kit::Point at, const char* name, rt::Rect value,
                    const char* picture, rt::FieldRef field) {
        if (caption) kit::AddPrompt(w, 0, std::string(name) + ":Prompt", caption, at);
        kit::AddString(w, 0, name, value, picture, kit::BindField(*field.file, field.index));
    };
    AddLine(w, {4, 160, 461, 0});
    show("Evidencioni broj u PD:", {8, 166}, "?CLA:M1_EVB", {92, 166, 60, 10}, "@s10",
         kit::FieldOf(m, "CLA:M1_EVB"));
    show("Datum učlanjenja u PD:", {8, 178}, "?CLA:M1_DCA", {92, 178, 50, 10}, "@d6.",
         kit::FieldOf(m, "CLA:M1_DCA"));
    show("Telefoni:", {8, 190}, "?CLA:M1_FTE", {92, 190, 90, 10}, "@s20",
         kit::FieldOf(m, "CLA:M1_FTE"));
    show(nullptr, {}, "?CLA:M1_FMO", {92, 202, 90, 10}, "@s20", kit::FieldOf(m, "CLA:M1_FMO"));
    show("e-mail:", {8, 214}, "?CLA:M1_EML", {92, 214, 130, 10}, "@s30",
         kit::FieldOf(m, "CLA:M1_EML"));
    AddLine(w, {234, 164, 0, 62});
    show("Zanimanje:", {240, 166}, "?CLA:M1_ZAN", {300, 166, 165, 10}, "@s50",
         kit::FieldOf(m, "CLA:M1_ZAN"));
    show("Kvalifikacija:", {240, 178}, "?STU:STU_NAS", {300, 178, 80, 10}, "@s15",
         Joined("STU:STU_NAS"));
    show("Bračno stanje:", {240, 190}, "?BRA:B1_BRS", {300, 190, 100, 10}, "@s20",
         Joined("BRA:B1_BRS"));
    show("Nacionalnost:", {240, 202}, "?NAC:N1_NAC", {300, 202, 100, 10}, "@s20",
         Joined("NAC:N1_NAC"));
    kit::AddPrompt(w, 0, "?Fotos", "Fotos", {330, 4});
}

// In creation order: the photo, the list, the four buttons, the detail area,
// then the sheet with its seven tabs, each with its locator entry.
Controls Build(rt::Window& w) {
    rt::FileStructure& m = Members();
    Controls c;
    c.image = kit::AddPicture(w, 0, "?Image1", {330, 14, 136, 94});
    c.list = w.add(kit::ListBox({8, 34, 314, 104}, kit::BrowsingMessage(m.def()), Columns()));
    c.insert = w.add(kit::ActionButton("?Insert:2", "Upis", {8, 142, 49, 14}, "Insert a Record", true));
    c.change = w.add(
        kit::ActionButton("?Change:2", "Promjena", {60, 142, 49, 14}, "Change the Record", true));
    w.control(c.change).isDefault = true;
    c.del = w.add(
        kit::ActionButton("?Delete:2", "Brisanje", {112, 142, 49, 14}, "Delete the Record", true));
    c.close = w.add(kit::CloseButton("Zatvori", {273, 142}));
    BuildDetail(w);
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 322, 136});
    for (int i = 0; i < Tabs; ++i) {
        const MemberOrder& o = Orders()[static_cast<std::size_t>(i)];
        c.tab[i] = kit::AddTab(w, c.sheet, "?Tab:" + std::to_string(i + 1), o.tabText);
        c.entry[i] = kit::AddLocatorEntry(w, c.tab[i], o.entry,
                                          kit::BindField(m, kit::FieldOf(m, o.field).index));
    }
    return c;
}

class MemberList : public ListWindowProcedure {
  public:
    MemberList(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
               WindowResizeClass& rs)
        : ListWindowProcedure("BrowseCLANOVI", Relate::CLANOVI, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          members_(Members()),
          BRW1_View(members_) {
        UpdateProcedure = UpdateCLANOVI;
    }

    // The highlighted member's photo follows every reset (a new highlight, a
    // tab, the return from the form). It is set once the list has read what
    // the reset reads, so it is always the photo of the member highlighted.
    void Reset(bool force = false) override {
        if (force) ++ForcedReset;
        if (InAcceptAllPass()) return;
        ListWindowProcedure::Reset(force);
        if (Win) kit::ShowPicture(*Win, c_.image, Member().M1_PUS.view());
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    void SetUpBrowse() override {
        BRW1.Sheet = c_.sheet;
        for (int i = 0; i < Tabs; ++i) BRW1.Orders.push_back({c_.tab[i], i + 1});
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1,
                  *Relate::CLANOVI, *this);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.RetainRow = false;

        // Every joined code list is an outer join: a member whose code has
        // no row in it is listed with a blank name.
        rt::FileStructure& nac = fileStructure(FileId::NACION);
        rt::FileStructure& bra = fileStructure(FileId::BRAST);
        rt::FileStructure& stu = fileStructure(FileId::STUPEM);
        BRW1_View.join(nac, nac.def().keyIndex("NAC:KeyN1_SIN"),
                       {kit::FieldOf(members_, "CLA:M1_SIN")});
        BRW1_View.join(bra, bra.def().keyIndex("BRA:KeyB1_SIB"),
                       {kit::FieldOf(members_, "CLA:M1_SIB")});
        BRW1_View.join(stu, stu.def().keyIndex("STU:KeyK1_KVA"),
                       {kit::FieldOf(members_, "CLA:M1_KVA")});

        StepLongClass* longs[] = {&BRW1_Sort1_StepClass, &BRW1_Sort0_StepClass};
        StepStringClass* texts[] = {&BRW1_Sort2_StepClass, &BRW1_Sort3_StepClass,
                                    &BRW1_Sort4_StepClass, &BRW1_Sort5_StepClass};
        EntryLocatorClass* locators[] = {&BRW1_Sort9_Locator,  &BRW1_Sort1_Locator,
                                         &BRW1_Sort2_Locator,  &BRW1_Sort3_Locator,
                                         &BRW1_Sort4_Locator,  &BRW1_Sort5_Locator,
                                         &BRW1_Sort10_Locator, &BRW1_Sort0_Locator};
        std::size_t nextLong = 0, nextText = 0;
        for (std::size_t i = 0; i < Orders().size(); ++i) {
            const MemberOrder& o = Orders()[i];
            StepClass* step = nullptr;
            if (o.thumb == Thumb::Numeric) {
                longs[nextLong]->Init(StepOption::Alpha);
                step = longs[nextLong++];
            } else if (o.thumb == Thumb::Text) {
                texts[nextText]->Init(StepOption::Alpha, StepStringClass::Runtime);
                step = texts[nextText++];
            }
            // The default order locates through the member-code entry.
            const int entry = i < Tabs ? c_.entry[i] : c_.entry[1];
            AddOrder(BRW1, step, kit::KeyOf(members_, o.key), *locators[i], entry,
                     kit::FieldOf(members_, o.field));
        }

        // The view reads what the queue holds: the thirty member fields and
        // the joined names and codes.
        for (int i = 0; i < static_cast<int>(members_.def().fields.size()); ++i) {
            BRW1_View.project(members_.field(i));
            BRW1.AddField(members_.field(i));
        }
        for (const char* f : JoinedFields()) {
            BRW1_View.project(Joined(f));
            BRW1.AddField(Joined(f));
        }
    }

  private:
    CLANOVI_Record& Member() { return *static_cast<CLANOVI_Record*>(members_.record()); }

    const Controls& c_;
    rt::FileStructure& members_;
    rt::View BRW1_View;
    StepLongClass BRW1_Sort1_StepClass, BRW1_Sort0_StepClass;
    StepStringClass BRW1_Sort2_StepClass, BRW1_Sort3_StepClass, BRW1_Sort4_StepClass,
        BRW1_Sort5_StepClass;
    EntryLocatorClass BRW1_Sort9_Locator, BRW1_Sort1_Locator, BRW1_Sort2_Locator,
        BRW1_Sort3_Locator, BRW1_Sort4_Locator, BRW1_Sort5_Locator, BRW1_Sort10_Locator,
        BRW1_Sort0_Locator;
    BrowseQueue Queue_Browse_1;
    TabOrderBrowse BRW1;  // last: ended before the view and queue it reads
};

}  // namespace

void BrowseCLANOVI() {
    RunWindow<MemberList>(kit::ChildWindowDesc(469, 240, "Članovi PD"), Build);
}
