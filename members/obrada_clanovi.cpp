// The member print list: the members of the member list, in its orders and
// with its photo and detail area, without the means to change them; one
// button prints the highlighted member's record card, the other opens a
// card query on a thread of its own.
#include "members/obrada_clanovi.h"

#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/frame/procedures.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"
#include "members/member_list.h"
#include "members/upit_clanovi.h"
#include "runtime/window/window.h"

namespace {

using memberlist::Tabs;

// The member list's columns without the identity card (7) and the remark
// (30); the photo path 120 wide and left-aligned. The queue holds the
// fields shown, in this order, so each column shows the next queue field.
const std::vector<kit::ColumnLayout>& Columns() {
    static const std::vector<kit::ColumnLayout> columns = [] {
        std::vector<kit::ColumnLayout> out;
        for (const kit::ColumnLayout& c : memberlist::Columns()) {
            if (c.field == 7 || c.field == 30) continue;
            kit::ColumnLayout k = c;
            k.field = static_cast<int>(out.size()) + 1;
            if (c.field == 29) {
                k.width = 120;
                k.align = rt::Align::Left;
            }
            out.push_back(k);
        }
        return out;
    }();
    return columns;
}

// The member fields of the columns, then the joined names and codes.
const std::vector<const char*>& QueueFields() {
    static const std::vector<const char*> fields = [] {
        std::vector<const char*> out;
        const rt::FileDef& d = fileStructure(FileId::CLANOVI).def();
        for (int i = 0; i < static_cast<int>(d.fields.size()); ++i)
            if (i != 6 && i != 29) out.push_back(d.fields[static_cast<std::size_t>(i)].label);
        for (const char* f : {"STU:STU_NAS", "BRA:B1_BRS", "NAC:N1_NAC", "POD:PD1_NAP",
                              "POD:PD1_SIU", "NAC:N1_SIN", "BRA:B1_SIB", "STU:STU_KVA"})
            out.push_back(f);
        return out;
    }();
    return fields;
}

struct Controls {
    int image = 0, list = 0, single = 0, all = 0, close = 0, sheet = 0;
    int tab[Tabs] = {};
    int entry[Tabs] = {};
};

// The data of the highlighted member under the list, read from the record
// buffers, which follow the highlight.
void BuildDetail(rt::Window& w) {
    auto show = [&](const char* caption, kit::Point at, const char* name, rt::Rect value,
                    const char* picture, const char* field) {
        if (caption) kit::AddPrompt(w, 0, std::string(name) + ":Prompt", caption, at);
        const rt::FieldRef f = memberlist::Field(field);
        kit::AddString(w, 0, name, value, picture, kit::BindField(*f.file, f.index));
    };
    memberlist::AddLine(w, {4, 150, 461, 0});
    show("Evidencioni broj:", {8, 154}, "?CLA:M1_EVB", {100, 154, 60, 10}, "@s10", "CLA:M1_EVB");
    show("Član PD od:", {8, 165}, "?CLA:M1_CDA", {100, 165, 50, 10}, "@d6.", "CLA:M1_CDA");
    show("Datum učlanjenja u PD:", {8, 176}, "?CLA:M1_DCA", {100, 176, 50, 10}, "@d6.",
         "CLA:M1_DCA");
    show("Telefoni:", {8, 187}, "?CLA:M1_FTE", {100, 187, 90, 10}, "@s20", "CLA:M1_FTE");
    show(nullptr, {}, "?CLA:M1_FMO", {100, 198, 90, 10}, "@s20", "CLA:M1_FMO");
    show("e-mail:", {8, 209}, "?CLA:M1_EML", {100, 209, 130, 10}, "@s30", "CLA:M1_EML");
    memberlist::AddLine(w, {234, 152, 0, 70});
    show("Preduzeće, ustanova rada:", {240, 154}, "?POD:PD1_NAP", {330, 154, 135, 10}, "@s30",
         "POD:PD1_NAP");
    show("Kvalifikacija:", {240, 165}, "?STU:STU_NAS", {330, 165, 80, 10}, "@s15", "STU:STU_NAS");
    show("Zanimanje:", {240, 176}, "?CLA:M1_ZAN", {330, 176, 135, 10}, "@s50", "CLA:M1_ZAN");
    show("Bračno stanje:", {240, 187}, "?BRA:B1_BRS", {330, 187, 100, 10}, "@s20", "BRA:B1_BRS");
    show("Nacionalnost:", {240, 198}, "?NAC:N1_NAC", {330, 198, 100, 10}, "@s20", "NAC:N1_NAC");
}

// In creation order: the photo, the list, the four hidden buttons of the
// member list, the two print buttons, the detail area, the sheet and tabs.
Controls Build(rt::Window& w) {
    rt::FileStructure& m = fileStructure(FileId::CLANOVI);
    Controls c;
    c.image = kit::AddPicture(w, 0, "?Image1", {332, 14, 129, 94});
    c.list = w.add(kit::ListBox({8, 34, 314, 95}, kit::BrowsingMessage(m.def()), Columns()));
    auto hidden = [&](rt::Control b) {
        b.hidden = true;
        return w.add(std::move(b));
    };
    hidden(kit::ActionButton("?Insert:2", "Upis", {8, 132, 49, 14}, "Insert a Record", true));
    hidden(
        kit::ActionButton("?Change:2", "Promjena", {60, 132, 49, 14}, "Change the Record", true));
    hidden(
        kit::ActionButton("?Delete:2", "Brisanje", {112, 132, 49, 14}, "Delete the Record", true));
    c.close = hidden(kit::CloseButton("Zatvori", {273, 132}));
    c.single = w.add(
        kit::PushButton("?Button5", "Štampa pod. za jednog člana", {8, 132, 120, 14}, "", ""));
    c.all = w.add(kit::PushButton("?Button5:2", "Štampa pod.za sve članoive PD",
                                  {194, 132, 128, 14}, "", ""));
    BuildDetail(w);
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 322, 126});
    memberlist::AddTabs(w, c.sheet, c.tab, c.entry);
    return c;
}

class PrintList : public memberlist::PhotoList {
  public:
    PrintList(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass& rs)
        : PhotoList("ObradaCLANOVI", c.list, c.close, c.image, w, ebt, tb, rs), c_(c) {}

    Level TakeAccepted() override {
        const int field = Win ? Win->field() : 0;
        if (field == c_.single) {
            // The record buffer holds the highlighted member.
            G1::W1_SPS = Member().M1_SPS;
            G1::W1_SIP = Member().M1_SIP;
            G1::W1_SIF = Member().M1_SIF;
        }
        const Level inherited = PhotoList::TakeAccepted();
        if (inherited != Level::Benign) return inherited;
        if (field == c_.single) {
            Update();
            if (auto p = FindProcedure("PrintCLANOV")) p();
            Reset(false);
        } else if (field == c_.all) {
            Update();
            rt::startProcedure(UpitCLANOVI, 25000);
            Reset(false);
        }
        return Level::Benign;
    }

  protected:
    void SetUpBrowse() override {
        SetUpTabs(c_.list, c_.sheet, c_.tab);
        BRW1.RetainRow = false;
        // No form: no key, menu or double-click offers to change a member.
        BRW1.EditViaPopup = false;

        // Outer joins: a code with no row in its list shows a blank name.
        struct Join {
            FileId file;
            const char* key;
            const char* on;
        };
        for (const Join& j : {Join{FileId::NACION, "NAC:KeyN1_SIN", "CLA:M1_SIN"},
                              Join{FileId::BRAST, "BRA:KeyB1_SIB", "CLA:M1_SIB"},
                              Join{FileId::STUPEM, "STU:KeyK1_KVA", "CLA:M1_KVA"},
                              Join{FileId::PODPOS, "POD:KeyPD1_SIU", "CLA:M1_SIU"}}) {
            rt::FileStructure& f = fileStructure(j.file);
            BRW1_View.join(f, rt::KeyOf(f, j.key).index, {rt::FieldOf(members_, j.on)});
        }
        // The default order, on no tab, is the club's, located through the
        // club entry.
        BRW1_Orders.SetUp(BRW1, c_.entry,
                          {nullptr, "CLA:KeyM1_SIP", "CLA:M1_SIP", memberlist::Thumb::Numeric, {}},
                          c_.entry[0]);
        for (const char* f : QueueFields()) {
            BRW1_View.project(memberlist::Field(f));
            BRW1.AddField(memberlist::Field(f));
        }
    }

  private:
    const Controls& c_;
};

}  // namespace

void ObradaCLANOVI() {
    RunWindow<PrintList>(kit::ChildWindowDesc(469, 240, "Članovi PD"), Build);
}
