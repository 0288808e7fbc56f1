// An exception that escapes the program body or a procedure thread while a
// display is set: its windows and data are in a state nobody planned for,
// and the other windows still run. The process ends through the fatal path,
// as a fatal error does: the box (OK), then the database connections closed
// and a non-zero status, never as a success.
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "runtime/window/internal.h"
#include "runtime/window/window.h"

namespace rt::detail {

void installEscapeHandler(bool on) {
    if (!on) {
        setEscapeHandler({});
        return;
    }
    setEscapeHandler([](const std::string& where, const std::string& what) {
        try {
            throw;
        } catch (const ShutDown&) {
            return;  // the windows are closing: the program ends as it does then
        } catch (...) {
        }
        MessageRequest m;
        m.title = "Program Error";
        m.text =
            "Unexpected error in the " + where + ": " + what + "  Press OK to end this application";
        m.buttons = ButtonOk;
        m.defaultButton = ButtonOk;
        m.icon = Icon::Hand;
        try {
            showMessage(m);
        } catch (const ShutDown&) {
            // closing down meanwhile: nothing can be asked; end all the same
        }
        fatalExit(EscapeExitStatus);
    });
}

}  // namespace rt::detail
