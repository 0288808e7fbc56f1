#include "core/frame/splash.h"

#include "core/frame/cp1250.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"
#include "runtime/window/window.h"

namespace {

rt::WindowDesc SplashDescription() {
    rt::WindowDesc d;
    d.kind = rt::WindowKind::Child;
    d.at = {0, 0, 209, 109};
    d.centred = true;
    d.titleBar = false;
    d.border = false;
    d.systemMenu = false;
    d.grey = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    return d;
}

void BuildControls(rt::Window& w) {
    rt::Control panel1;
    panel1.kind = rt::ControlKind::Panel;
    panel1.name = "?PANEL1";
    panel1.at = {0, 0, 209, 108};
    panel1.bevelOuter = 6;
    w.add(panel1);

    rt::Control panel2;
    panel2.kind = rt::ControlKind::Panel;
    panel2.name = "?PANEL2";
    panel2.at = {7, 6, 195, 95};
    panel2.bevelOuter = -2;
    panel2.bevelInner = 1;
    w.add(panel2);

    rt::Control string2;
    string2.kind = rt::ControlKind::String;
    string2.name = "?STRING2";
    string2.text = Cp1250("Evidencija planinara");
    string2.at = {11, 20, 188, 20};
    string2.align = rt::Align::Center;
    string2.hasFont = true;
    string2.font = rt::Font{"Arial", 18, true, true, 0xff0000, 238};
    w.add(string2);

    rt::Control panel3;
    panel3.kind = rt::ControlKind::Panel;
    panel3.name = "?PANEL3";
    panel3.at = {13, 36, 182, 12};
    panel3.bevelOuter = -1;
    panel3.bevelInner = 1;
    panel3.bevelStyle = 9;
    w.add(panel3);

    rt::Control string3;
    string3.kind = rt::ControlKind::String;
    string3.name = "?STRING3";
    string3.text = Cp1250("Sutrik v-1.0");
    string3.at = {14, 53, 181, 18};
    string3.align = rt::Align::Center;
    string3.hasFont = true;
    string3.font = rt::Font{"Arial", 12, true, false, 0x000000, 238};
    w.add(string3);
}

class SplashWindow : public WindowProcedure {
  public:
    SplashWindow(rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb)
        : WindowProcedure("SplashIt", w, ebt, &tb) {}

  protected:
    // Ten seconds, then the three mouse keys on the window itself.
    void AfterRestore() override {
        window_.setTimer(1000);
        window_.alert(rt::key::MouseLeft);
        window_.alert(rt::key::MouseLeft2);
        window_.alert(rt::key::MouseRight);
    }

    Level TakeWindowEvent() override {
        const Level held = WindowProcedure::TakeWindowEvent();
        switch (Win->event()) {
            case rt::Event::AlertKey:
                if (rt::key::mouse(Win->keyCode())) Win->post(rt::Event::CloseWindow);
                break;
            case rt::Event::LoseFocus:
            case rt::Event::Timer:
                Win->post(rt::Event::CloseWindow);
                break;
            default:
                break;
        }
        return held;
    }
};

}  // namespace

void SplashIt() {
    EnterByTabClass EnterByTabManager;
    rt::Window Window(SplashDescription());
    BuildControls(Window);
    ToolbarClass Toolbar;
    SplashWindow ThisWindow(Window, EnterByTabManager, Toolbar);
    GlobalResponse = ThisWindow.Run();
}
