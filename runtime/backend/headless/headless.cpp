#include "runtime/backend/headless/headless.h"

namespace rt {

void HeadlessBackend::show(ViewPtr) {
    shown_.fetch_add(1);
}
void HeadlessBackend::closed(int) {}
void HeadlessBackend::dialog(int, const DialogRequest&) {
    dialogs_.fetch_add(1);
}
void HeadlessBackend::dialogClosed(int) {}
void HeadlessBackend::beep() {}
void HeadlessBackend::status(int, const std::string&) {}

}  // namespace rt
