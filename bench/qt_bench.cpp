// The clubs' list through the Qt display on the offscreen platform, end to
// end: from a PageDown key event handed to Qt (on the GUI thread, through
// the display's input filter, as a key from the window system goes) until
// the list widget holds the next page. Beside it, the raw statement that
// reads the same page. A program of its own: it owns the QApplication.
#include <QApplication>
#include <QKeyEvent>
#include <QTreeWidget>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench/window_bench.h"
#include "codelists/procedures.h"
#include "core/startup/program.h"
#include "framework/globals.h"
#include "runtime/backend/qt/qt_backend.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Pages = 200;  // timed page downs per table

// Runs fn on the GUI thread and waits for its result.
template <class F>
auto onGui(rt::QtBackend& b, F fn) -> decltype(fn()) {
    std::promise<decltype(fn())> p;
    b.post([&] { p.set_value(fn()); });
    return p.get_future().get();
}

// The open list window's tree widget (on the GUI thread), or null.
QTreeWidget* listWidget(const rt::QtBackend& b) {
    const rt::QtBackend::Probe pr = b.probe();
    for (int w : pr.windows) {
        const rt::ViewPtr v = pr.lastView(w);
        if (!v || v->kind != rt::WindowKind::Child) continue;
        for (const auto& c : v->controls)
            if (c.kind == rt::ControlKind::List)
                if (auto* t = qobject_cast<QTreeWidget*>(pr.widget(w, c.id))) return t;
    }
    return nullptr;
}

void sendKey(QWidget* to, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(to, &release);
}

// The next page in the code order after the last one read, as one raw
// statement (from the top again after the end).
struct RawWalk {
    explicit RawWalk(const std::string& db) : raw(db) {}
    double next(int rows) {
        sqlite3_stmt* s = raw.stmt(
            "SELECT P1_SIP,P1_NPD,P1_ADR,P1_SJD,P1_BRG,P1_DAR,P1_TEL,P1_FAX,P1_WEB,P1_EML FROM "
            "PLAND WHERE P1_SIP > ? ORDER BY P1_SIP LIMIT ?");
        const auto t0 = Clock::now();
        raw.api().bind_int64(s, 1, last);
        raw.api().bind_int(s, 2, rows);
        const int n = raw.run(s, nullptr, &last);
        const double us = bench::microsSince(t0);
        if (n < rows) last = 0;
        return us;
    }
    bench::Raw raw;
    std::int64_t last = 0;
};

// Opens the clubs' list on the database in dir, times Pages page downs
// from the top (again from the top every 30), prints the figure.
void run(rt::QtBackend& b, const std::string& dir, int size) {
    fs::current_path(dir);
    storage::closeAllConnections();
    rt::startProcedure([] { BrowsePLAND(); }, 50000);
    int rows = 0;
    for (int i = 0; i < 1000 && rows == 0; ++i) {
        rows = onGui(b, [&] {
            QTreeWidget* t = listWidget(b);
            return t ? t->topLevelItemCount() : 0;
        });
        if (!rows) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!rows) {
        std::cerr << "the list did not show\n";
        std::exit(3);
    }
    // The list takes the keys: a click on it, as the user's.
    onGui(b, [&] {
        QTreeWidget* t = listWidget(b);
        const QPoint p(5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, p, t->viewport()->mapToGlobal(p),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(t->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, p, t->viewport()->mapToGlobal(p),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(t->viewport(), &release);
        return 0;
    });
    rt::waitIdle(10000);
    RawWalk raw((fs::path(dir) / "Clanovi.sqlite").string());
    std::vector<double> ours, raws;
    for (int i = 0; i < Pages + 20; ++i) {
        if (i % 30 == 0) {
            onGui(b, [&] {
                sendKey(listWidget(b), Qt::Key_Home);
                return 0;
            });
            rt::waitIdle(10000);
            raw.last = 0;
            raw.next(rows);  // the raw walk stands on the first page too
        }
        std::this_thread::sleep_for(bench::AsleepAfter);  // the key meets the list's thread asleep
        std::promise<double> shown;
        auto done = shown.get_future();
        onGui(b, [&] {
            QTreeWidget* t = listWidget(b);
            const QString before = t->topLevelItem(0)->text(0);
            auto* conn = new QMetaObject::Connection;
            const auto t0 = Clock::now();
            // The page is there when its last row is in and it is another page.
            *conn = QObject::connect(t->model(), &QAbstractItemModel::rowsInserted, t, [=, &shown] {
                if (t->topLevelItemCount() != rows || t->topLevelItem(0)->text(0) == before)
                    return;
                shown.set_value(
                    std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
                QObject::disconnect(*conn);
                delete conn;
            });
            sendKey(t, Qt::Key_PageDown);
            return 0;
        });
        if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            std::cerr << "the next page did not show\n";
            std::exit(3);
        }
        const double us = done.get();
        rt::waitIdle(10000);
        const double r = raw.next(rows);
        if (i >= 20) {  // the first pages warm up
            ours.push_back(us);
            raws.push_back(r);
        }
    }
    const double o = bench::median(ours), r = bench::median(raws);
    std::printf("bench PLAND_page_down_code_order_qt_%d ours=%.2f raw=%.2f ratio=%.2f\n", size, o,
                r, o / r);
    onGui(b, [&] {
        for (int w : b.probe().windows) {
            const rt::ViewPtr v = b.probe().lastView(w);
            if (v && v->kind == rt::WindowKind::Child) rt::input(w, rt::Input{rt::Input::Kind::Close});
        }
        return 0;
    });
    rt::joinAllThreads();
    storage::closeAllConnections();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string small = std::string(CLANOVI_BENCH_DATA) + "/small";
    const std::string large = std::string(CLANOVI_BENCH_DATA) + "/clubs-100000";
    if (!bench::makeDatabase(small, 1000, 1000) || !bench::makeDatabase(large, 1000, 100000)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    const fs::path scratch = fs::temp_directory_path() / ("qt-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path home = fs::current_path();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    installComponents();
    {
        rt::QtBackend backend;
        rt::setBackend(&backend);
        std::thread body([&] {
            rt::runProcess([&] {
                GlobalErrors().Init(&GlobalErrorStatus);
                INIMgr().Init((scratch / "Sutrik.INI").string(), 0, 0);
                run(backend, small, 1000);
                run(backend, large, 100000);
                INIMgr().Kill();
            });
            backend.post([] { QApplication::quit(); });
        });
        app.exec();
        body.join();
        backend.stop();
        rt::setBackend(nullptr);
    }
    fs::current_path(home);
    fs::remove_all(scratch);
    return 0;
}
