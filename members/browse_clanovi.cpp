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
#include "members/member_list.h"
#include "members/update_clanovi.h"

namespace {

using memberlist::Tabs;

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

// The detail area under the list: data of the highlighted member, read from
// the record buffers, which follow the highlight.
void BuildDetail(rt::Window& w) {
    rt::FileStructure& m = Members();
    auto show = [&](const char* caption, kit::Point at, const char* name, rt::Rect value,
                    const char* picture, rt::FieldRef field) {
        if (caption) kit::AddPrompt(w, 0, std::string(name) + ":Prompt", caption, at);
        kit::AddString(w, 0, name, value, picture, kit::BindField(*field.file, field.index));
    };
    memberlist::AddLine(w, {4, 160, 461, 0});
    show("Evidencioni broj u PD:", {8, 166}, "?CLA:M1_EVB", {92, 166, 60, 10}, "@s10",
         rt::FieldOf(m, "CLA:M1_EVB"));
    show("Datum učlanjenja u PD:", {8, 178}, "?CLA:M1_DCA", {92, 178, 50, 10}, "@d6.",
         rt::FieldOf(m, "CLA:M1_DCA"));
    show("Telefoni:", {8, 190}, "?CLA:M1_FTE", {92, 190, 90, 10}, "@s20",
         rt::FieldOf(m, "CLA:M1_FTE"));
    show(nullptr, {}, "?CLA:M1_FMO", {92, 202, 90, 10}, "@s20", rt::FieldOf(m, "CLA:M1_FMO"));
    show("e-mail:", {8, 214}, "?CLA:M1_EML", {92, 214, 130, 10}, "@s30",
         rt::FieldOf(m, "CLA:M1_EML"));
    memberlist::AddLine(w, {234, 164, 0, 62});
    show("Zanimanje:", {240, 166}, "?CLA:M1_ZAN", {300, 166, 165, 10}, "@s50",
         rt::FieldOf(m, "CLA:M1_ZAN"));
    show("Kvalifikacija:", {240, 178}, "?STU:STU_NAS", {300, 178, 80, 10}, "@s15",
         memberlist::Field("STU:STU_NAS"));
    show("Bračno stanje:", {240, 190}, "?BRA:B1_BRS", {300, 190, 100, 10}, "@s20",
         memberlist::Field("BRA:B1_BRS"));
    show("Nacionalnost:", {240, 202}, "?NAC:N1_NAC", {300, 202, 100, 10}, "@s20",
         memberlist::Field("NAC:N1_NAC"));
    kit::AddPrompt(w, 0, "?Fotos", "Fotos", {330, 4});
}

// In creation order: the photo, the list, the four buttons, the detail area,
// then the sheet with its seven tabs, each with its locator entry.
Controls Build(rt::Window& w) {
    rt::FileStructure& m = Members();
    Controls c;
    c.image = kit::AddPicture(w, 0, "?Image1", {330, 14, 136, 94});
    c.list = w.add(
        kit::ListBox({8, 34, 314, 104}, kit::BrowsingMessage(m.def()), memberlist::Columns()));
    c.insert =
        w.add(kit::ActionButton("?Insert:2", "Upis", {8, 142, 49, 14}, "Insert a Record", true));
    c.change = w.add(
        kit::ActionButton("?Change:2", "Promjena", {60, 142, 49, 14}, "Change the Record", true));
    w.control(c.change).isDefault = true;
    c.del = w.add(
        kit::ActionButton("?Delete:2", "Brisanje", {112, 142, 49, 14}, "Delete the Record", true));
    c.close = w.add(kit::CloseButton("Zatvori", {273, 142}));
    BuildDetail(w);
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 322, 136});
    memberlist::AddTabs(w, c.sheet, c.tab, c.entry);
    return c;
}

class MemberList : public memberlist::PhotoList {
  public:
    MemberList(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
               WindowResizeClass& rs)
        : PhotoList("BrowseCLANOVI", c.list, c.close, c.image, w, ebt, tb, rs), c_(c) {
        UpdateProcedure = UpdateCLANOVI;
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    void SetUpBrowse() override {
        SetUpTabs(c_.list, c_.sheet, c_.tab);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.RetainRow = false;

        // Every joined code list is an outer join: a member whose code has
        // no row in it is listed with a blank name.
        rt::FileStructure& nac = fileStructure(FileId::NACION);
        rt::FileStructure& bra = fileStructure(FileId::BRAST);
        rt::FileStructure& stu = fileStructure(FileId::STUPEM);
        BRW1_View.join(nac, rt::KeyOf(nac, "NAC:KeyN1_SIN").index,
                       {rt::FieldOf(members_, "CLA:M1_SIN")});
        BRW1_View.join(bra, rt::KeyOf(bra, "BRA:KeyB1_SIB").index,
                       {rt::FieldOf(members_, "CLA:M1_SIB")});
        BRW1_View.join(stu, rt::KeyOf(stu, "STU:KeyK1_KVA").index,
                       {rt::FieldOf(members_, "CLA:M1_KVA")});

        // The default order, on no tab, is the member code's, located
        // through the member-code entry.
        BRW1_Orders.SetUp(BRW1, c_.entry,
                          {nullptr, "CLA:KeyM1_SIF", "CLA:M1_SIF", memberlist::Thumb::Numeric, {}},
                          c_.entry[1]);

        // The view reads what the queue holds: the thirty member fields and
        // the joined names and codes.
        for (int i = 0; i < static_cast<int>(members_.def().fields.size()); ++i) {
            BRW1_View.project(members_.field(i));
            BRW1.AddField(members_.field(i));
        }
        for (const char* f : JoinedFields()) {
            BRW1_View.project(memberlist::Field(f));
            BRW1.AddField(memberlist::Field(f));
        }
    }

  private:
    const Controls& c_;
};

}  // namespace

void BrowseCLANOVI() {
    RunWindow<MemberList>(kit::ChildWindowDesc(469, 240, "Članovi PD"), Build);
}
