// The fee entry window. The federation, club, document and date are given
// once; then for each member the running number (proposed), the member code
// and the two amounts. The focus arriving in the document entry finds the
// next running number from the stored lines; arriving in the write field
// checks the line and writes it, and the focus goes back to the running
// number for the next line. Nothing is cleared between lines.
#include "fees/unos_clanar.h"

#include <cstdint>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "framework/entry_window.h"
#include "framework/window_kit.h"

namespace {

constexpr rt::Align R = rt::Align::Right;

// The procedure's locals: they live as long as the window and start at 0.
struct Locals {
    std::int32_t W1_SPS = 0;  // federation of the document
    std::int32_t W1_SIP = 0;  // club of the document
    std::int32_t W1_RED = 0;  // the running number the next line gets
    std::uint8_t W1_PUT = 0;  // the write field's value; never read
};

// The thread's record buffers, reached through the dictionary (a direct
// access to another unit's thread_local record misleads UBSan).
CLANAR_Record& Ledger() {
    return *static_cast<CLANAR_Record*>(fileStructure(FileId::CLANAR).record());
}
CLANOVI_Record& Member() {
    return *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
}

// The controls in creation order, which is also the order Tab and Enter
// move the focus in.
struct Controls {
    int federation = 0, federationButton = 0, federationName = 0;
    int club = 0, clubButton = 0, clubName = 0;
    int document = 0, date = 0;
    int running = 0;
    int member = 0, memberButton = 0, surname = 0, givenName = 0;
    int charge = 0, payment = 0;
    int write = 0;
};

rt::Control Entry(const char* name, rt::Rect at, const char* picture, const char* tip, bool right,
                  rt::Binding value) {
    rt::Control e;
    e.kind = rt::ControlKind::Entry;
    e.name = name;
    e.at = at;
    e.picture = picture;
    e.msg = e.tip = kit::WindowText(tip);
    if (right) e.align = R;
    e.value = std::move(value);
    return e;
}

// clang-format off
Controls Build(rt::Window& w, Locals& L1) {
    rt::FileStructure& ledger = fileStructure(FileId::CLANAR);
    rt::FileStructure& federations = fileStructure(FileId::PLANSA);
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    auto field = [](rt::FileStructure& f, const char* label) {
        return kit::BindField(f, rt::FieldOf(f, label).index);
    };
    Controls c;
    kit::AddPrompt(w, 0, "?CLA1:CL_SPS:Prompt", "Šifra PS:", {10, 8});
    c.federation = w.add(Entry("?L1:W1_SPS", {80, 7, 25, 10}, "@n_2", "Šifra PS", true, rt::bind(L1.W1_SPS)));
    c.federationButton = kit::AddLookupButton(w, 0, "?CallLookup", {108, 6, 12, 12});
    c.federationName = kit::AddString(w, 0, "?PLA1:SP1_NPS", {124, 8, 230, 10}, "@s50",
                                      field(federations, "PLA1:SP1_NPS"));
    kit::AddPrompt(w, 0, "?CLA1:CL_SIP:Prompt", "Šifra PD:", {10, 22});
    c.club = w.add(Entry("?L1:W1_SIP", {80, 21, 25, 10}, "@n_3", "Šifra PD", true, rt::bind(L1.W1_SIP)));
    c.clubButton = kit::AddLookupButton(w, 0, "?CallLookup:3", {108, 20, 12, 12});
    c.clubName = kit::AddString(w, 0, "?PLA:P1_NPD", {124, 22, 230, 10}, "@s50",
                                field(clubs, "PLA:P1_NPD"));
    kit::AddPrompt(w, 0, "?CLA1:CL_DOK:Prompt", "Broj dokumenta:", {10, 36});
    c.document = w.add(Entry("?CLA1:CL_DOK", {80, 35, 110, 10}, "@s25", "Broj dokumenta", false,
                             field(ledger, "CLA1:CL_DOK")));
    kit::AddPrompt(w, 0, "?CLA1:CL_DAD:Prompt", "Datum:", {10, 50});
    c.date = w.add(Entry("?CLA1:CL_DAD", {80, 49, 50, 10}, "@d6.", "Datum", true,
                         field(ledger, "CLA1:CL_DAD")));
    rt::Control line;
    line.kind = rt::ControlKind::Line;
    line.name = "?Line1";
    line.at = {4, 64, 357, 1};
    w.add(std::move(line));
    kit::AddPrompt(w, 0, "?L1:W1_RED:Prompt", "Reddni broj:", {10, 72});
    c.running = w.add(Entry("?L1:W1_RED", {80, 71, 45, 10}, "@n_8", "Reddni broj", true, rt::bind(L1.W1_RED)));
    kit::AddPrompt(w, 0, "?CLA1:CL_SIF:Prompt", "Šifra člana PD:", {10, 86});
    c.member = w.add(Entry("?CLA1:CL_SIF", {80, 85, 35, 10}, "@n_6", "Šifra člana PD", true,
                           field(ledger, "CLA1:CL_SIF")));
    c.memberButton = kit::AddLookupButton(w, 0, "?CallLookup:2", {118, 84, 12, 12});
    c.surname = kit::AddString(w, 0, "?CLA:M1_PRE", {134, 86, 130, 10}, "@s25", field(members, "CLA:M1_PRE"));
    c.givenName = kit::AddString(w, 0, "?CLA:M1_IME", {134, 97, 110, 10}, "@s20", field(members, "CLA:M1_IME"));
    rt::Control group;
    group.kind = rt::ControlKind::Group;
    group.name = "?Group1";
    group.text = kit::WindowText("Članarina");
    group.at = {10, 110, 200, 44};
    w.add(std::move(group));
    kit::AddPrompt(w, 0, "?CLA1:CL_DUG:Prompt", "Duguje:", {18, 122});
    c.charge = w.add(Entry("?CLA1:CL_DUG", {80, 121, 70, 10}, "@n-15.`2", "Duguje", true,
                           field(ledger, "CLA1:CL_DUG")));
    kit::AddPrompt(w, 0, "?CLA1:CL_POD:Prompt", "Potražuje:", {18, 137});
    c.payment = w.add(Entry("?CLA1:CL_POD", {80, 136, 70, 10}, "@n-15.`2", "Potražuje", true,
                            field(ledger, "CLA1:CL_POD")));
    rt::Control write = Entry("?L1:W1_PUT", {80, 162, 12, 10}, "@n1B", "", false, rt::bind(L1.W1_PUT));
    write.msg.clear();
    write.tip.clear();
    write.fill = 0xC0C0C0;  // silver
    c.write = w.add(std::move(write));
    return c;
}
// clang-format on

bool Blank(const rt::Text<25>& t) {
    for (char ch : t.bytes)
        if (ch != ' ' && ch != '\0') return false;
    return true;
}

class ThisWindowClass : public EntryWindowProcedure {
  public:
    ThisWindowClass(const Controls& c, Locals& L1, rt::Window& w, EnterByTabClass& ebt,
                    ToolbarClass& tb)
        : EntryWindowProcedure("UnosCLANAR", w, ebt, &tb),
          c_(c),
          L1(L1),
          nextLine_(*Access::CLANAR,
                    rt::KeyOf(fileStructure(FileId::CLANAR), "CLA1:KeyCL_UKP").index, 2,
                    rt::FieldOf(fileStructure(FileId::CLANAR), "CLA1:CL_RED").index) {
        AddFiles({Relate::CLANAR, Relate::CLANOVI, Relate::KATEG, Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLANSA,
                    {.Entry = c.federation,
                     .Button = c.federationButton,
                     .Value = L1.W1_SPS,
                     .NameControl = c.federationName});
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = L1.W1_SIP,
                     .NameControl = c.clubName});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = c.member,
                     .Button = c.memberButton,
                     .Value = kit::CodeField(fileStructure(FileId::CLANAR), "CLA1:CL_SIF"),
                     .NameControl = c.surname});
        // The names are the buffers as the last lookup left them.
        Lookups.ResetKind = LookupReset::ReadNothing;
    }

  protected:
    int ChooseFirstField() override { return c_.federation; }

    void BeforeSelected(int control) override {
        if (control == c_.document) {
            NextRunningNumber();
        } else if (control == c_.charge) {
            Passes({&member_});
        } else if (control == c_.write) {
            // The checks of the line run again here, so a line clicked past
            // them is never written.
            if (Passes({&document_, &storedMember_, &amount_})) WriteLine();
        }
    }

    void AfterSelected(int control) override {
        if (control == c_.date) Passes({&document_});
    }

  private:
    // One more than the running number of the club's last line in key order
    // (member, date, running number); with no line the number shown goes on
    // from where it stands; never past the largest number, where a line of
    // the same member and date is refused as a duplicate. Lines that cannot
    // be read give no number: said so, and the number stays as it stood.
    void NextRunningNumber() {
        const std::int32_t next = nextLine_.Next({L1.W1_SPS, L1.W1_SIP}, L1.W1_RED);
        if (!ReportRetrievalFailure(nextLine_.Failure(), "CLANAR")) L1.W1_RED = next;
        Win->display();
    }

    void WriteLine() {
        CLANAR_Record& line = Ledger();
        line.CL_SPS = L1.W1_SPS;
        line.CL_SIP = L1.W1_SIP;
        line.CL_SIK = Member().M1_SIK;  // read by the member check
        line.CL_RED = L1.W1_RED;
        // A refused line leaves the running number where it is; either way
        // the focus leaves the write field, so the notice's answer writes
        // nothing again.
        if (AddLine(*Access::CLANAR)) L1.W1_RED = NumberAfter(L1.W1_RED);
        Win->display();
        Win->select(c_.running);
    }

    // The member code names a stored member; the member is read into the
    // member buffer, whose category the line takes.
    bool MemberStored() {
        if (Ledger().CL_SIF == 0) return false;
        Member().M1_SIF = Ledger().CL_SIF;
        return Access::CLANOVI->TryFetch(CLANOVI.KeyM1_SIF) == Level::Benign;
    }

    const Controls& c_;
    Locals& L1;
    LastInKeyOrder nextLine_;
    const Check document_{[] { return !Blank(Ledger().CL_DOK); }, "Morate unijeti broj dokumenta",
                          c_.document};
    const Check member_{[] { return Ledger().CL_SIF != 0; }, "Šifra člana PD mora se unijeti",
                        c_.member};
    const Check storedMember_{[this] { return MemberStored(); }, "Šifra člana PD mora se unijeti",
                              c_.member};
    const Check amount_{[] { return Ledger().CL_DUG.cents != 0 || Ledger().CL_POD.cents != 0; },
                        "Mora se unijeti iznos članarine", c_.charge};
};

}  // namespace

void UnosCLANAR() {
    EnterByTabClass EnterByTabManager;
    rt::WindowDesc desc = kit::ChildWindowDesc(365, 186, "Unos članarine");
    desc.resizable = false;
    desc.grey = false;
    rt::Window Window(desc);
    Locals L1;
    const Controls ids = Build(Window, L1);
    ToolbarClass Toolbar;
    ThisWindowClass ThisWindow(ids, L1, Window, EnterByTabManager, Toolbar);
    GlobalResponse = ThisWindow.Run();
}
