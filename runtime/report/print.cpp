#include "runtime/report/print.h"

#include <mutex>

#include "runtime/held_files.h"
#include "runtime/window/window.h"

namespace rt::report {

namespace {
std::mutex rendererLock;
Renderer installed;
}  // namespace

std::optional<PrintTarget> askPrinter(int window, const Document& document, int from, int to) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::Print;
    r.window = window;
    r.message.title = "Print";
    r.jobTitle = document.jobTitle;
    r.pages = static_cast<int>(document.pageCount());
    r.from = from;
    r.to = to;
    const DialogAnswer a = askDialog(std::move(r));
    if (a.button != ButtonOk || (a.printer.empty() && a.path.empty() && a.closeBox))
        return std::nullopt;
    PrintTarget t;
    t.printer = a.printer;
    t.file = a.path;
    t.from = from;
    t.to = to;
    return t;
}

bool printDocument(const Document& document, const PrintTarget& target) {
    // A PDF written over the database (or a file beside it) would destroy
    // it; even opening one would cost the process its locks on it.
    if (!target.file.empty() && namesHeldFile(target.file)) return false;
    Renderer r;
    {
        std::lock_guard g(rendererLock);
        r = installed;
    }
    return r ? r(document, target) : false;
}

void setRenderer(Renderer renderer) {
    std::lock_guard g(rendererLock);
    installed = std::move(renderer);
}

bool hasRenderer() {
    std::lock_guard g(rendererLock);
    return static_cast<bool>(installed);
}

}  // namespace rt::report
