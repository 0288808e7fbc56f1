// Input to painted pixels through the Qt display: the program runs as it
// always does (rt::runQtProgram, the frame and its menu on thread 1); the
// list windows open from the frame's menu, and each key is posted to the
// window's event queue as a key from the window system arrives. A figure
// ends when the window's backing store has been flushed with the list
// widget painted showing the new page. Beside each, its limit: a plain
// QTableWidget of our own (plain_list.h) of the same size, font and columns,
// which runs the same statement on the GUI thread and shows the same page,
// timed the same way, its samples taken in turn with ours.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QWindow>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/procedures.h"
#include "bench/plain_list.h"
#include "bench/window_bench.h"
#include "core/dictionary/dictionary.h"
#include "core/frame/main_frame.h"
#include "core/startup/program.h"
#include "framework/globals.h"
#include "runtime/backend/qt/qt_backend.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

constexpr int Pages = 60;  // timed page downs per list and size, after WarmPages
constexpr int WarmPages = 10;
constexpr int Openings = 6;  // timed openings, after one untimed

// Runs fn on the GUI thread and waits for its result.
template <class F>
auto onGui(rt::QtBackend& b, F fn) -> decltype(fn()) {
    std::promise<decltype(fn())> p;
    b.post([&] { p.set_value(fn()); });
    return p.get_future().get();
}

// The open child window's list widget (GUI thread), or null.
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

// What tells one page of the list from another: its first and last rows.
QString pageOf(const QTreeWidget* t) {
    QString s;
    const int n = t->topLevelItemCount();
    for (int row : {0, n - 1})
        if (row >= 0)
            for (int c = 0; c < t->columnCount(); ++c) s += t->topLevelItem(row)->text(c) + '|';
    return s;
}

// The samples of one figure: ours and its limit, in µs.
struct Figure {
    std::vector<double> ours, limit;
};

void printFigure(const std::string& name, const Figure& f) {
    const double o = bench::median(f.ours), l = bench::median(f.limit);
    std::printf("bench %s ours=%.2f raw=%.2f ratio=%.2f ours_p95=%.2f raw_p95=%.2f\n",
                name.c_str(), o, l, o / l, bench::percentile(f.ours, 0.95),
                bench::percentile(f.limit, 0.95));
    std::fflush(stdout);
}

// One list of the program: the menu item that opens it, the statements of
// its pages for the limit, its fixtures.
struct ListCase {
    const char* figure;  // "PLAND", "CLANOVI"
    const char* menuItem;  // its label
    bench::PlainQuery query;
    std::vector<std::pair<std::string, int>> fixtures;  // directory, size
};

class Run {
  public:
    Run(rt::QtBackend& b, std::string platform) : b_(b), platform_(std::move(platform)) {
        onGui(b_, [&] {
            watch_ = new bench::PaintWatch(qApp);
            return 0;
        });
    }

    void list(const ListCase& lc) {
        for (const auto& [dir, size] : lc.fixtures) fixture(lc, dir, size);
    }

    void closeFrame() {
        onGui(b_, [&] {
            delete watch_;
            return 0;
        });
        rt::shutDownWindows();
    }

  private:
    std::string name(const ListCase& lc, const char* what, int size) const {
        return std::string(lc.figure) + "_" + what + (platform_.empty() ? "" : "_" + platform_) +
               "_painted_" + std::to_string(size);
    }

    // The menu item's action (GUI thread).
    QAction* menuItem(const char* label) {
        const rt::QtBackend::Probe pr = b_.probe();
        for (int w : pr.windows) {
            const rt::ViewPtr v = pr.lastView(w);
            if (!v || v->kind != rt::WindowKind::Frame) continue;
            for (const auto& c : v->controls)
                if (c.kind == rt::ControlKind::Item && c.name == label)
                    return pr.action(w, c.id);
        }
        return nullptr;
    }

    // Opens the list from the menu; the µs until its first page is painted
    // and flushed.
    double open(const ListCase& lc) {
        auto done = onGui(b_, [&] {
            QAction* a = menuItem(lc.menuItem);
            if (!a) {
                std::cerr << "no menu item " << lc.menuItem << "\n";
                std::exit(3);
            }
            auto f = watch_->arm([this](QObject* o) {
                QTreeWidget* t = listWidget(b_);
                return t && o == t->viewport() && t->topLevelItemCount() > 0;
            });
            watch_->start();
            a->trigger();
            return f;
        });
        return wait(done, "the list did not show");
    }

    void close() {
        onGui(b_, [&] {
            for (int w : b_.probe().windows) {
                const rt::ViewPtr v = b_.probe().lastView(w);
                if (v && v->kind == rt::WindowKind::Child)
                    rt::input(w, rt::Input{rt::Input::Kind::Close});
            }
            return 0;
        });
        for (int i = 0; i < 3000 && onGui(b_, [&] { return listWidget(b_) != nullptr; }); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    double wait(std::future<double>& f, const char* what) {
        if (f.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            std::cerr << what << "\n";
            std::exit(3);
        }
        return f.get();
    }

    // A key posted to the window holding the list, as the window system's
    // come; the µs until the list is painted with another page and flushed.
    double key(QWidget* list, int k, const std::function<QString()>& page) {
        auto done = onGui(b_, [&] {
            const QString before = page();
            auto f = watch_->arm([=](QObject* o) { return o == list && page() != before; });
            return f;
        });
        QWindow* window = onGui(b_, [&] { return list->window()->windowHandle(); });
        watch_->start();
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier));
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, k, Qt::NoModifier));
        return wait(done, "the page did not show");
    }

    void fixture(const ListCase& lc, const std::string& dir, int size) {
        fs::current_path(dir);
        storage::closeAllConnections();
        bench::PlainList plain(b_, lc.query, (fs::path(dir) / "Clanovi.sqlite").string());
        // The opening, beside the plain window opened on its first page.
        Figure opening;
        for (int i = 0; i <= Openings; ++i) {
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double us = open(lc);
            QTreeWidget* t = onGui(b_, [&] { return listWidget(b_); });
            onGui(b_, [&] {
                plain.likeThat(t);
                return 0;
            });
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double limit = plain.open(*watch_);
            if (i > 0) {
                opening.ours.push_back(us);
                opening.limit.push_back(limit);
            }
            if (i < Openings) {
                close();
                plain.close();
            }
        }
        printFigure(name(lc, "open_from_menu", size), opening);
        QTreeWidget* t = onGui(b_, [&] { return listWidget(b_); });
        // The list takes the keys: a click on it, as the user's.
        onGui(b_, [&] {
            const QPoint p(5, 5);
            QMouseEvent press(QEvent::MouseButtonPress, p, t->viewport()->mapToGlobal(p),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(t->viewport(), &press);
            QMouseEvent release(QEvent::MouseButtonRelease, p, t->viewport()->mapToGlobal(p),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(t->viewport(), &release);
            return 0;
        });
        // (The member list's first click goes to its row, not its focus.)
        onGui(b_, [&] {
            const rt::QtBackend::Probe pr = b_.probe();
            for (int w : pr.windows)
                if (const rt::ViewPtr v = pr.lastView(w))
                    for (const auto& c : v->controls)
                        if (c.kind == rt::ControlKind::List && pr.widget(w, c.id) == t)
                            rt::input(w, rt::Input{rt::Input::Kind::Focus, c.id});
            return 0;
        });
        rt::waitIdle(10000);
        // A page down from a row above the page's last moves the highlight
        // there first; the figure is the page after it.
        auto toLastRow = [&] {
            QWindow* window = onGui(b_, [&] { return t->window()->windowHandle(); });
            QCoreApplication::postEvent(
                window, new QKeyEvent(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier));
            QCoreApplication::postEvent(
                window, new QKeyEvent(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            rt::waitIdle(10000);
        };
        const bool onLastRow = onGui(b_, [&] {
            return t->indexOfTopLevelItem(t->currentItem()) == t->topLevelItemCount() - 1;
        });
        if (!onLastRow) toLastRow();
        const int rows = onGui(b_, [&] { return t->topLevelItemCount(); });
        // A list that holds all its rows in one page has no page down.
        const QString first = onGui(b_, [&] { return pageOf(t); });
        toLastRow();
        if (onGui(b_, [&] { return pageOf(t); }) == first) {
            std::printf("note %s: the list shows its only page\n", name(lc, "page_down", size).c_str());
            close();
            plain.close();
            rt::joinAllThreads();
            storage::closeAllConnections();
            return;
        }
        Figure down;
        for (int i = 0; i < Pages + WarmPages; ++i) {
            if (i % 10 == 9) {  // from the top again (a club of the member list is short)
                key(t->viewport(), Qt::Key_Home, [&] { return pageOf(t); });
                rt::waitIdle(10000);
                if (!onGui(b_, [&] {
                        return t->indexOfTopLevelItem(t->currentItem()) ==
                               t->topLevelItemCount() - 1;
                    }))
                    toLastRow();
                plain.top(*watch_);
            }
            std::this_thread::sleep_for(bench::AsleepAfter);  // the key meets the list's thread asleep
            const double us = key(t->viewport(), Qt::Key_PageDown, [&] { return pageOf(t); });
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double limit = plain.pageDown(*watch_, rows);
            if (i >= WarmPages) {
                down.ours.push_back(us);
                down.limit.push_back(limit);
            }
        }
        printFigure(name(lc, "page_down", size), down);
        close();
        plain.close();
        rt::joinAllThreads();
        storage::closeAllConnections();
    }

    rt::QtBackend& b_;
    std::string platform_;
    bench::PaintWatch* watch_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string platform =
        qgetenv("QT_QPA_PLATFORM") == "offscreen" ? "" : qgetenv("QT_QPA_PLATFORM").toStdString();
    if (!bench::sqliteLoaded()) return 2;
    const std::string data = CLANOVI_BENCH_DATA;
    if (!bench::makeDatabase(data + "/small", 1000, 1000) ||
        !bench::makeDatabase(data + "/clubs-100000", 1000, 100000) ||
        !bench::makeDatabase(data + "/members-20000", 20000, 120) ||
        !bench::makeDatabase(data + "/members-100000", 100000, 120)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    const std::vector<ListCase> lists = {
        {"PLAND", "?SIFARNICIPLANINARSKADRUSTVA", bench::clubsQuery(),
         {{data + "/small", 1000}, {data + "/clubs-100000", 100000}}},
        {"CLANOVI", "?BROWSECLANOVI", bench::membersQuery(),
         {{data + "/small", 1000},
          {data + "/members-20000", 20000},
          {data + "/members-100000", 100000}}},
    };
    const fs::path scratch = fs::temp_directory_path() / ("qt-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path home = fs::current_path();
    RegisterAllProcedures();
    const int status = rt::runQtProgram(argc, argv, [&] {
        installComponents();
        const bool ok = rt::runProcess([&] {
            GlobalErrors().Init(&GlobalErrorStatus);
            INIMgr().Init((scratch / "Sutrik.INI").string(), 0, 0);
            DctInit();
            std::thread driver([&] {
                auto* b = dynamic_cast<rt::QtBackend*>(rt::backend());
                // The frame first: nothing opens before it.
                while (!onGui(*b, [&] {
                    for (int w : b->probe().windows)
                        if (auto v = b->probe().lastView(w); v && v->kind == rt::WindowKind::Frame)
                            return true;
                    return false;
                }))
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                Run run(*b, platform);
                for (const ListCase& lc : lists) run.list(lc);
                run.closeFrame();
            });
            // The driver ends the run by shutting the windows down, which
            // ends the frame's wait by an exception.
            try {
                Main();
            } catch (...) {
            }
            driver.join();
            INIMgr().Kill();
        });
        return ok ? 0 : 1;
    });
    fs::current_path(home);
    fs::remove_all(scratch);
    return status;
}
