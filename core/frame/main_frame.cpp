#include "core/frame/main_frame.h"

#include "core/frame/cp1250.h"
#include "core/frame/procedures.h"
#include "core/frame/splash.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"
#include "runtime/window/window.h"

using Kind = MenuRow::Kind;
using Action = MenuRow::Action;

const std::vector<MenuRow>& MainMenu() {
    static const std::vector<MenuRow> menu = {
        {Kind::Menu, "?FILEMENU", "Servis", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PRINTSETUP", "Setovanje printera", "Setup printer", nullptr, 0, false,
         Action::PrintSetup},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?EXIT", "Izlaz", "Exit this application", nullptr, 0, false, Action::Close},

        {Kind::Menu, "?BROJAČI", "Brojači", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?BROJACIBROJPREGLEDAIZVEJSTAJA", "Broj pregleda izvejštaja", "",
         "BrowseDOKUM", 25000, false, Action::None},

        {Kind::Menu, "?SIFARNICI", "Šifarnici", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PODACIPLANINARSKISAVEZI", "Planinarski savezi", "", "BrowsePLANSA", 25000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?SIFARNICIPLANINARSKADRUSTVA", "Planinarska društva", "", "BrowsePLAND",
         25000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PODACIPREDUZECAUSTANOVE", "Preduzeća, ustanove zaposlenja članova PD", "",
         "BrowsePODPOS", 25000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PODACISTRUCNASPREME", "Stručna spreme", "", "BrowseSTUPEM", 25000, false,
         Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?BROWSENACION", "Nacionalnosti", "Browse Nacionalnosti", "BrowseNACION",
         50000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?BROWSEBRAST", "Bračna stanja", "Browse Bracna stanja", "BrowseBRAST", 50000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PODACIKATEGORIJECLANSTVA", "Kategorije članstva", "", "BrowseKATEG", 25000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?PODACINACINIUCLANJIVANJAUPD", "Načini učlanjivanja u PD", "", "BrowseNACUC",
         25000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?BROWSETURPOS", "Vrste aktivnosti", "Browse Planinaeske ture, poslovi",
         "BrowseTURPOS", 50000, false, Action::None},

        {Kind::Menu, "?BROWSEMENU", "Članovi PD", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?BROWSECLANOVI", "Unos podataka o članovima PD", "Browse Planinarska drustva",
         "BrowseCLANOVI", 50000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?CLANOVIPDPREGLEDSTAMPA", "Pregled, štampa", "", "ObradaCLANOVI", 25000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?ITEM1", "Datum zadnjeg ažuriranja", "", "BrowseDATAZUR", 25000, false,
         Action::None},

        {Kind::Menu, "?CLANARINA", "Članarina", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?CLANARINAUNOSUPLATA", "Unos uplata", "", "BrowseCLANAR", 25000, false,
         Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?CLANARINAPREGLED", "Pregled ukupne članarine", "", "UpitCLANAR", 25000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?CLANARINAPREGLEDCLANARINEZAJEDNOGCLANA", "Pregled članarine za jednog člana",
         "", "UpitCLANAR1", 25000, false, Action::None},

        {Kind::Menu, "?ANGAZOVANJE", "Aktivnosti ", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?ANGAZOVANJERADNEAKCIJE", "Evidencija aktivnosti", "", "BrowseANGAZOV", 25000,
         false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        // Hidden and disabled, and nothing shows or enables it.
        {Kind::Item, "?ANGAZOVANJEEVIDENCIJAPOSLOVA", "Evidencija poslova", "", "BrowseANGAZOV1",
         25000, true, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?ANGAZOVANJEIZVJESTAJIOPOHODIMA", "Izvještaji o aktivnostima", "",
         "UpitANGAZOV", 25000, false, Action::None},
        {Kind::Separator, nullptr, "", "", nullptr, 0, false, Action::None},
        {Kind::Item, "?ANGAZOVANJEIVJESTAJIOPOSLOVIMA", "Izvještaji o poslovima", "", nullptr, 0,
         true, Action::None},
    };
    return menu;
}

namespace {

rt::WindowDesc FrameDescription() {
    rt::WindowDesc d;
    d.kind = rt::WindowKind::Frame;
    d.title = Cp1250("Evidencija članova PD - Sutrik v-1.0");
    d.at = {0, 0, 505, 318};
    d.centred = true;
    d.maximized = true;
    d.resizable = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    // The first zone takes what the others leave (at least 1 unit).
    d.statusWidths = {-1, 80, 120, 45};
    return d;
}

// Builds the menu bar into the frame; returns, per control number, the row
// of the table it came from.
std::vector<const MenuRow*> BuildMenu(rt::Window& frame) {
    std::vector<const MenuRow*> rows;
    int menu = 0;
    for (const MenuRow& r : MainMenu()) {
        rt::Control c;
        c.text = Cp1250(r.text);
        c.msg = Cp1250(r.help);
        if (r.label) c.name = Cp1250(r.label);
        switch (r.kind) {
            case Kind::Menu:
                c.kind = rt::ControlKind::Menu;
                break;
            case Kind::Item:
                c.kind = rt::ControlKind::Item;
                break;
            case Kind::Separator:
                c.kind = rt::ControlKind::Separator;
                break;
        }
        c.parent = r.kind == Kind::Menu ? 0 : menu;
        c.hidden = c.disabled = r.hidden;
        if (r.action == Action::PrintSetup) c.action = rt::Control::Action::PrintSetup;
        if (r.action == Action::Close) c.action = rt::Control::Action::Close;
        const int id = frame.add(std::move(c));
        if (r.kind == Kind::Menu) menu = id;
        rows.push_back(&r);
    }
    return rows;
}

class MainWindow : public WindowProcedure {
  public:
    MainWindow(rt::Window& frame, EnterByTabClass& ebt, ToolbarClass& toolbar,
               std::vector<const MenuRow*> rows, std::int32_t& splashThread)
        : WindowProcedure("Main", frame, ebt, &toolbar),
          rows_(std::move(rows)),
          splashThread_(splashThread) {}

  protected:
    // The frame has no control that takes the focus.
    int ChooseFirstField() override { return 1; }
    // The frame's bar of tabs for its child windows stays off (the window
    // layer has none unless asked).
    void AfterRestore() override {}

    Level TakeWindowEvent() override {
        const Level held = WindowProcedure::TakeWindowEvent();
        if (Win->event() == rt::Event::OpenWindow)
            splashThread_ = rt::startProcedure(SplashIt, rt::DefaultStack);
        return held;
    }

    // A menu item starts its procedure on a new thread; what the start
    // returns is not used.
    Level TakeAccepted() override {
        const int field = Win->field();
        if (field > 0 && field <= static_cast<int>(rows_.size())) {
            const MenuRow& r = *rows_[field - 1];
            if (r.kind == Kind::Item && r.procedure && !r.hidden) {
                if (ProcedureFn p = FindProcedure(r.procedure))
                    rt::startProcedure(std::move(p), r.stack);
            }
        }
        return WindowProcedure::TakeAccepted();
    }

  private:
    std::vector<const MenuRow*> rows_;
    std::int32_t& splashThread_;
};

}  // namespace

void Main() {
    std::int32_t SplashProcedureThread = 0;
    EnterByTabClass EnterByTabManager;
    rt::Window AppFrame(FrameDescription());
    auto rows = BuildMenu(AppFrame);
    ToolbarClass Toolbar;
    MainWindow ThisWindow(AppFrame, EnterByTabManager, Toolbar, std::move(rows),
                          SplashProcedureThread);
    GlobalResponse = ThisWindow.Run();
}
