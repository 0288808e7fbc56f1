// The driver without a display: straight to the window layer.
#include "runtime/backend/headless/headless.h"
#include "tests/scenarios/driver.h"

namespace {

class HeadlessDriver : public Driver {
  public:
    rt::Backend* backend() override { return &backend_; }
    std::vector<rt::ViewPtr> windows() override { return rt::views(); }
    std::vector<rt::OpenDialog> dialogs() override { return rt::openDialogs(); }
    std::string status(int zone) override { return rt::statusText(zone); }
    void input(int window, rt::Input in) override { rt::input(window, std::move(in)); }
    void answer(int dialog, rt::DialogAnswer a) override { rt::answerDialog(dialog, std::move(a)); }
    // Esc and the close box come in the same way: a raw close, no button.
    void closeDialog(int dialog, bool) override {
        rt::DialogAnswer a;
        a.closeBox = true;
        rt::answerDialog(dialog, std::move(a));
    }
    void pressEnter(int dialog) override {
        for (const auto& d : rt::openDialogs())
            if (d.id == dialog) {
                rt::DialogAnswer a;
                a.button = d.request.message.defaultButton;
                rt::answerDialog(dialog, std::move(a));
            }
    }
    bool idle(int timeoutMs) override { return rt::waitIdle(timeoutMs); }
    std::string notActive(int window) override {
        const int active = rt::activeWindow();
        if (active != window) {
            rt::ViewPtr v = rt::view(active);
            return "the active window is " + (v ? "\"" + v->title + "\"" : std::string("none"));
        }
        rt::ViewPtr v = rt::view(window);
        if (!v || !v->active) return "its view does not show it active";
        return "";
    }

  private:
    rt::HeadlessBackend backend_;
};

}  // namespace

std::unique_ptr<Driver> makeHeadlessDriver() {
    return std::make_unique<HeadlessDriver>();
}
