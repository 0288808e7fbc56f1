// The bridge between the procedure threads and the GUI thread: the command
// queue, its eventfd wake-up, the Backend calls, the probe and the program's
// main loop.
#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QSocketNotifier>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "runtime/backend/qt/input.h"
#include "runtime/backend/qt/photo_work.h"
#include "runtime/backend/qt/report_page.h"
#include "runtime/backend/qt/state.h"
#include "runtime/backend/qt/windows.h"
#include "runtime/window/window.h"

namespace rt {

int DialogUnits::x(int dlu) const {
    return static_cast<int>(std::lround(dlu * baseX / 4.0));
}
int DialogUnits::y(int dlu) const {
    return static_cast<int>(std::lround(dlu * baseY / 8.0));
}
int DialogUnits::fromX(int px) const {
    return static_cast<int>(std::lround(px * 4.0 / baseX));
}
int DialogUnits::fromY(int px) const {
    return static_cast<int>(std::lround(px * 8.0 / baseY));
}

std::string qtFontFace(const std::string& face) {
    if (face == "Arial Narrow") return "Liberation Sans Narrow";
    if (face == "MS Sans Serif" || face == "Arial" || face.empty()) return "Liberation Sans";
    return face;
}

QFont qfont(const Font& f) {
    QFont font(q(qtFontFace(f.face)));
    font.setPointSize(f.size > 0 ? f.size : 8);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return font;
}

DialogUnits unitsOf(const QFont& font) {
    QFontMetrics fm(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // The average width of the letters, rounded as the original platform
    // rounds it, and the font's height: Liberation Sans 8 gives 6 x 12.
    DialogUnits u;
    u.baseX = std::max(1, (fm.horizontalAdvance(alphabet) / 26 + 1) / 2);
    u.baseY = std::max(1, fm.height());
    return u;
}

void QtBackend::State::setStatus(int zone, const std::string& text) {
    if (zone < 1) return;
    if (pendingStatus.size() < static_cast<std::size_t>(zone)) pendingStatus.resize(zone);
    pendingStatus[zone - 1] = text;
    auto f = wins.find(frame);
    if (f == wins.end()) return;
    if (static_cast<std::size_t>(zone) <= f->second.status.size())
        f->second.status[zone - 1]->setText(q(text));
}

// ---------------------------------------------------------------------------

QtBackend::QtBackend() : s_(std::make_unique<State>()) {
    s_->self = this;
    s_->efd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s_->notifier = new QSocketNotifier(s_->efd, QSocketNotifier::Read);
    State* st = s_.get();
    QObject::connect(s_->notifier, &QSocketNotifier::activated, s_->notifier,
                     [st] { st->drain(); });
    auto* filter = new InputFilter;
    filter->pressed = [st] { st->syncActive(); };
    s_->filter = filter;
    s_->appFont = QFont(QStringLiteral("Liberation Sans"), 8);
    QApplication::setFont(s_->appFont);
    useDisabledGrey();
    s_->units = unitsOf(s_->appFont);
    // Photos decoded and scaled on the photo threads come back through the
    // queue, as everything else does.
    photowork::setPoster([this](std::function<void()> fn) { post(std::move(fn)); });
    report::setRenderer(renderDocument);
}

QtBackend::~QtBackend() {
    photowork::setPoster({});
    stop();
    // Sub-windows belong to the frame's area: guard against deleting twice.
    std::vector<QPointer<QWidget>> tops;
    for (auto& [id, w] : s_->wins) {
        if (auto* f = dynamic_cast<FrameWidget*>(w.top.data())) f->detach();
        if (auto* c = dynamic_cast<ChildWindow*>(w.top.data())) c->detach();
        tops.emplace_back(w.top);
    }
    for (auto& [id, d] : s_->dialogs) tops.emplace_back(d);
    s_->wins.clear();
    s_->dialogs.clear();
    for (auto& t : tops) delete t.data();
    delete s_->notifier;
    delete s_->filter;
    if (s_->efd >= 0) ::close(s_->efd);
}

void QtBackend::post(std::function<void()> fn) {
    {
        std::lock_guard g(s_->m);
        if (s_->stopping) return;
        s_->queue.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    if (::write(s_->efd, &one, sizeof one) < 0) {
        // the counter is full: the GUI thread is already due to wake
    }
}

void QtBackend::stop() {
    std::lock_guard g(s_->m);
    s_->stopping = true;
    s_->queue.clear();
}

bool QtBackend::drawn() {
    std::lock_guard g(s_->m);
    return s_->queue.empty() && !s_->busy && !photowork::pending();
}

const DialogUnits& QtBackend::units() const {
    return s_->units;
}

const QtBackend::PrinterChoice& QtBackend::printerChoice() const {
    return s_->printer;
}

void QtBackend::show(ViewPtr view) {
    State* st = s_.get();
    post([st, view] { st->apply(view); });
}

void QtBackend::closed(int window) {
    State* st = s_.get();
    post([st, window] { st->destroy(window); });
}

void QtBackend::dialog(int id, const DialogRequest& request) {
    State* st = s_.get();
    post([st, id, request] { st->openDialog(id, request); });
}

void QtBackend::dialogClosed(int id) {
    State* st = s_.get();
    post([st, id] { st->closeDialog(id); });
}

void QtBackend::beep() {
    post([] { QApplication::beep(); });
}

void QtBackend::status(int zone, const std::string& text) {
    State* st = s_.get();
    post([st, zone, text] { st->setStatus(zone, text); });
}

QtBackend::Probe QtBackend::probe() const {
    Probe p;
    p.owner = this;
    for (const auto& [id, w] : s_->wins) p.windows.push_back(id);
    for (const auto& [id, d] : s_->dialogs) p.dialogs.push_back(id);
    return p;
}

ViewPtr QtBackend::Probe::lastView(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.view;
}
QWidget* QtBackend::Probe::top(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.top;
}
QWidget* QtBackend::Probe::surface(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.surface;
}
QWidget* QtBackend::Probe::widget(int window, int control) const {
    auto it = owner->s_->wins.find(window);
    if (it == owner->s_->wins.end()) return nullptr;
    auto c = it->second.widgets.find(control);
    return c == it->second.widgets.end() ? nullptr : c->second;
}
QAction* QtBackend::Probe::action(int window, int control) const {
    auto it = owner->s_->wins.find(window);
    if (it == owner->s_->wins.end()) return nullptr;
    auto c = it->second.actions.find(control);
    return c == it->second.actions.end() ? nullptr : c->second;
}
QWidget* QtBackend::Probe::dialogWidget(int id) const {
    auto it = owner->s_->dialogs.find(id);
    return it == owner->s_->dialogs.end() ? nullptr : it->second;
}
DialogRequest QtBackend::Probe::dialogRequest(int id) const {
    auto it = owner->s_->requests.find(id);
    return it == owner->s_->requests.end() ? DialogRequest{} : it->second;
}
QLabel* QtBackend::Probe::statusLabel(int zone) const {
    auto f = owner->s_->wins.find(owner->s_->frame);
    if (f == owner->s_->wins.end() || zone < 1 ||
        static_cast<std::size_t>(zone) > f->second.status.size())
        return nullptr;
    return f->second.status[zone - 1];
}

// ---------------------------------------------------------------------------

int runQtProgram(int argc, char** argv, std::function<int()> body) {
    if (auto why = missingDisplay()) {
        const char* name = argc > 0 && argv[0] ? std::strrchr(argv[0], '/') : nullptr;
        std::fprintf(stderr,
                     "%s: this program needs a graphical display (an X server) and has none: %s\n",
                     name                  ? name + 1
                     : argc > 0 && argv[0] ? argv[0]
                                           : "clanovi",
                     why->c_str());
        return 1;
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the program body decides when it ends
    int status = 0;
    {
        QtBackend backend;
        // Children are placed and centred in the frame's client area: the
        // screen less the frame's own bars, in dialog units.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const DialogUnits& u = backend.units();
            rt::setClientArea({0, 0, u.fromX(g.width()),
                               u.fromY(g.height() - 3 * static_cast<int>(u.baseY) - 24)});
        }
        rt::setBackend(&backend);
        rt::setBodyRunning(true);
        std::atomic<bool> done{false};
        std::thread program([&] {
            status = body();
            rt::setBodyRunning(false);
            done = true;
            backend.post([] { QApplication::quit(); });
        });
        app.exec();
        // Only an ended program body quits the loop; anything else (the
        // session going away) ends the windows first so the join cannot hang.
        if (!done) rt::shutDownWindows();
        program.join();
        backend.stop();
        rt::setBackend(nullptr);
    }
    return status;
}

}  // namespace rt
