#pragma once
// A display without a screen. Every view is already available through
// rt::views(); this backend only counts what would have been shown, so the
// program runs the same way with nobody looking.
#include <atomic>
#include <cstdint>

#include "runtime/window/view.h"

namespace rt {

class HeadlessBackend : public Backend {
  public:
    void show(ViewPtr view) override;
    void closed(int window) override;
    void dialog(int id, const DialogRequest& request) override;
    void dialogClosed(int id) override;
    void beep() override;
    void status(int zone, const std::string& text) override;

    std::uint64_t viewsShown() const { return shown_.load(); }
    std::uint64_t dialogsShown() const { return dialogs_.load(); }

  private:
    std::atomic<std::uint64_t> shown_{0}, dialogs_{0};
};

}  // namespace rt
