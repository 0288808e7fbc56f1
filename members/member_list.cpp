#include "members/member_list.h"

#include <string>
#include <utility>

#include "core/dictionary/dictionary.h"
#include "framework/list_window.h"

namespace memberlist {

namespace {
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;
}  // namespace

// clang-format off
const std::vector<kit::ColumnLayout>& Columns() {
    static const std::vector<kit::ColumnLayout> columns = {
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

const std::vector<MemberOrder>& TabOrders() {
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
    };
    return orders;
}
// clang-format on

rt::FieldRef Field(const char* label) {
    for (FileId f : {FileId::STUPEM, FileId::BRAST, FileId::NACION, FileId::PODPOS})
        if (fileStructure(f).def().fieldIndex(label) >= 0)
            return rt::FieldOf(fileStructure(f), label);
    return rt::FieldOf(fileStructure(FileId::CLANOVI), label);  // throws: no such field
}

int AddLine(rt::Window& w, rt::Rect at) {
    rt::Control line;
    line.kind = rt::ControlKind::Line;
    line.name = "?Line";
    line.at = at;
    return w.add(std::move(line));
}

void AddTabs(rt::Window& w, int sheet, int (&tab)[Tabs], int (&entry)[Tabs]) {
    rt::FileStructure& m = fileStructure(FileId::CLANOVI);
    for (int i = 0; i < Tabs; ++i) {
        const MemberOrder& o = TabOrders()[static_cast<std::size_t>(i)];
        tab[i] = kit::AddTab(w, sheet, "?Tab:" + std::to_string(i + 1), o.tabText);
        entry[i] = kit::AddLocatorEntry(w, tab[i], o.entry,
                                        kit::BindField(m, rt::FieldOf(m, o.field).index));
    }
}

void Orders::SetUp(BrowseClass& browse, const int (&entry)[Tabs], const MemberOrder& byDefault,
                   int defaultEntry) {
    rt::FileStructure& m = fileStructure(FileId::CLANOVI);
    StepLongClass* longs[] = {&BRW1_Sort1_StepClass, &BRW1_Sort0_StepClass};
    StepStringClass* texts[] = {&BRW1_Sort2_StepClass, &BRW1_Sort3_StepClass, &BRW1_Sort4_StepClass,
                                &BRW1_Sort5_StepClass};
    EntryLocatorClass* locators[] = {&BRW1_Sort9_Locator,  &BRW1_Sort1_Locator, &BRW1_Sort2_Locator,
                                     &BRW1_Sort3_Locator,  &BRW1_Sort4_Locator, &BRW1_Sort5_Locator,
                                     &BRW1_Sort10_Locator, &BRW1_Sort0_Locator};
    std::size_t nextLong = 0, nextText = 0;
    for (std::size_t i = 0; i <= TabOrders().size(); ++i) {
        const MemberOrder& o = i < TabOrders().size() ? TabOrders()[i] : byDefault;
        StepClass* step = nullptr;
        if (o.thumb == Thumb::Numeric) {
            longs[nextLong]->Init(StepOption::Alpha);
            step = longs[nextLong++];
        } else if (o.thumb == Thumb::Text) {
            texts[nextText]->Init(StepOption::Alpha, StepStringClass::Runtime);
            step = texts[nextText++];
        }
        const int e = i < TabOrders().size() ? entry[i] : defaultEntry;
        AddOrder(browse, step, rt::KeyOf(m, o.key), *locators[i], e, rt::FieldOf(m, o.field));
    }
}

PhotoList::PhotoList(std::string procedure, int list, int close, int image, rt::Window& w,
                     EnterByTabClass& ebt, ToolbarClass& tb, WindowResizeClass& rs)
    : ListWindowProcedure(std::move(procedure), Relate::CLANOVI, list, close, w, ebt, tb, rs),
      members_(fileStructure(FileId::CLANOVI)),
      BRW1_View(members_),
      image_(image) {}

void PhotoList::Reset(bool force) {
    if (force) ++ForcedReset;
    if (InAcceptAllPass()) return;
    ListWindowProcedure::Reset(force);
    if (Win) kit::ShowPicture(*Win, image_, Member().M1_PUS.view());
}

void PhotoList::SetUpTabs(int list, int sheet, const int (&tab)[Tabs]) {
    BRW1.Sheet = sheet;
    for (int i = 0; i < Tabs; ++i) BRW1.Orders.push_back({tab[i], i + 1});
    BRW1.Init(list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::CLANOVI,
              *this);
}

}  // namespace memberlist
