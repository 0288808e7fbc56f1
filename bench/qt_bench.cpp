// Input to painted pixels through the Qt display: the program runs as it
// always does (rt::runQtProgram, the frame and its menu on thread 1); the
// list windows open from the frame's menu, and each key is posted to the
// window's event queue as a key from the window system arrives. A figure
// ends when the window's backing store has been flushed with the list
// widget painted showing the new page. Beside each, its limit: a plain
// QTableWidget of our own (plain_list.h) of the same size, font and columns,
// which runs the same statement on the GUI thread and shows the same page,
// timed the same way, its samples taken in turn with ours. The member's
// photo is timed the same way, beside a plain picture that reads and paints
// the same file on the GUI thread.
#include <unistd.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
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
#include "bench/photo_support.h"
#include "bench/plain_list.h"
#include "bench/window_bench.h"
#include "core/dictionary/dictionary.h"
#include "core/frame/main_frame.h"
#include "core/startup/program.h"
#include "framework/globals.h"
#include "runtime/backend/qt/qt_backend.h"
#include "runtime/dialogs.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

constexpr int Pages = 60;  // timed page downs per list and size, after WarmPages
constexpr int WarmPages = 10;
constexpr int Openings = 6;  // timed openings, after one untimed
constexpr int Locates = 30;  // timed locates and keys, after WarmPages
constexpr int Keys = 30;
constexpr int Photos = 30;  // timed photos, after WarmPages

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
    std::printf("bench %s ours=%.2f raw=%.2f ratio=%.2f ours_p95=%.2f raw_p95=%.2f\n", name.c_str(),
                o, l, o / l, bench::percentile(f.ours, 0.95), bench::percentile(f.limit, 0.95));
    std::fflush(stdout);
}

// One list of the program: the menu item that opens it, the statements of
// its pages for the limit, its fixtures.
struct ListCase {
    const char* figure;    // "PLAND", "CLANOVI"
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

    // The highlighted member's photo, every member with a 1600 x 1200 JPEG
    // of about 1 MiB: from Down in the member list until the photo of the
    // member it moved to is painted and flushed, beside a plain picture that
    // reads the same file for the same box on Down and paints it. Then,
    // every member's photo an 8000 x 8000 PNG: Down again and again while
    // the photos load, each key until the list shows the highlight moved,
    // flushed; a key a frame's time or longer is a stall.
    void photos(const ListCase& lc, const fs::path& jpegDir, const fs::path& pngDir, int size) {
        const std::string platform = platform_.empty() ? "" : "_" + platform_;
        {
            QTreeWidget* t = openWithPhotos(lc, jpegDir);
            QWidget* picture = onGui(b_, [&] { return pictureWidget(); });
            const auto shown = [&] {
                return onGui(b_, [&] { return picture->property("rtShown").toBool(); });
            };
            for (int i = 0; i < 10000 && !shown(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!shown()) {
                std::cerr << "the first member's photo did not show\n";
                std::exit(3);
            }
            const std::string file =
                onGui(b_, [&] { return picture->property("rtFile").toString().toStdString(); });
            bench::PlainPhoto plain(b_, QString::fromStdString((jpegDir / file).string()));
            plain.likeThat(picture);
            QWindow* window = onGui(b_, [&] { return t->window()->windowHandle(); });
            Figure f;
            for (int i = 0; i < Photos + WarmPages; ++i) {
                rt::waitIdle(10000);
                std::this_thread::sleep_for(bench::AsleepAfter);
                auto done = onGui(b_, [&] {
                    const QString before = picture->property("rtFile").toString();
                    return watch_->arm([picture, before](QObject* o) {
                        return o == picture && picture->property("rtShown").toBool() &&
                               picture->property("rtFile").toString() != before;
                    });
                });
                watch_->start();
                bench::postKey(b_, window, Qt::Key_Down);
                const double us = wait(done, "the next member's photo did not show");
                rt::waitIdle(10000);
                std::this_thread::sleep_for(bench::AsleepAfter);
                const double limit = plain.key(*watch_);
                if (i >= WarmPages) {
                    f.ours.push_back(us);
                    f.limit.push_back(limit);
                }
            }
            printFigure("photo" + platform + "_painted_" + std::to_string(size), f);
            closeList();
        }
        QTreeWidget* t = openWithPhotos(lc, pngDir);
        QWindow* window = onGui(b_, [&] { return t->window()->windowHandle(); });
        std::vector<double> keys;
        int reading = 0;
        for (int i = 0; i < Keys + WarmPages; ++i) {
            std::this_thread::sleep_for(bench::AsleepAfter);
            auto done = onGui(b_, [&] {
                if (i >= WarmPages && photoReading()) ++reading;
                const QString before = currentRow(t);
                return watch_->arm([t, before](QObject* o) {
                    return o == t->viewport() && currentRow(t) != before;
                });
            });
            watch_->start();
            bench::postKey(b_, window, Qt::Key_Down);
            const double us = wait(done, "the highlight did not move while the photos load");
            if (i >= WarmPages) keys.push_back(us);
        }
        rt::waitIdle(30000);
        const double frame = 1e6 / 60;
        const double p95 = bench::percentile(keys, 0.95);
        std::printf(
            "bench photo_8000_png_key%s_painted_%d ours=%.2f ours_p95=%.2f limit=%.0f %s "
            "keys_while_reading=%d/%d\n",
            platform.c_str(), size, bench::median(keys), p95, frame,
            p95 < frame ? "within" : "BEYOND", reading, Keys);
        std::fflush(stdout);
        closeList();
    }

    void closeFrame() {
        onGui(b_, [&] {
            delete watch_;
            return 0;
        });
        rt::shutDownWindows();
    }

  private:
    // The member list opened from the menu over the copy in dir, the list
    // taking the keys.
    QTreeWidget* openWithPhotos(const ListCase& lc, const fs::path& dir) {
        fs::current_path(dir);
        storage::closeAllConnections();
        open(lc);
        QTreeWidget* t = onGui(b_, [&] { return listWidget(b_); });
        if (!onGui(b_, [&] { return pictureWidget(); })) {
            std::cerr << "the member list shows no picture\n";
            std::exit(3);
        }
        focus(t);
        return t;
    }
    void closeList() {
        close();
        rt::joinAllThreads();
        storage::closeAllConnections();
    }

    // The open child window's picture (GUI thread), or null.
    QWidget* pictureWidget() const {
        const rt::QtBackend::Probe pr = b_.probe();
        for (int w : pr.windows) {
            const rt::ViewPtr v = pr.lastView(w);
            if (!v || v->kind != rt::WindowKind::Child) continue;
            for (const auto& c : v->controls)
                if (c.kind == rt::ControlKind::Image) return pr.widget(w, c.id);
        }
        return nullptr;
    }
    // The open child window's picture is being read (GUI thread).
    bool photoReading() const {
        const rt::QtBackend::Probe pr = b_.probe();
        for (int w : pr.windows) {
            const rt::ViewPtr v = pr.lastView(w);
            if (!v || v->kind != rt::WindowKind::Child) continue;
            for (const auto& c : v->controls)
                if (const rt::ImagePayload* p =
                        c.kind == rt::ControlKind::Image ? c.image() : nullptr)
                    return !p->path.empty() && !p->loaded;
        }
        return false;
    }
    // The highlighted row's texts.
    static QString currentRow(const QTreeWidget* t) {
        QString s;
        if (const QTreeWidgetItem* item = t->currentItem())
            for (int c = 0; c < t->columnCount(); ++c) s += item->text(c) + '|';
        return s;
    }

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
                if (c.kind == rt::ControlKind::Item && c.name == label) return pr.action(w, c.id);
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

    double wait(std::future<double>& f, const char* what) { return bench::shownWithin(f, what); }

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
        bench::postKey(b_, window, k);
        return wait(done, "the page did not show");
    }

    // The list takes the keys: a click on it, as the user's.
    void focus(QTreeWidget* t) {
        onGui(b_, [&] {
            clickOn(t->viewport(), QPoint(5, 5));
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
        focus(t);
        // A page down from a row above the page's last moves the highlight
        // there first; the figure is the page after it.
        auto toLastRow = [&] {
            QWindow* window = onGui(b_, [&] { return t->window()->windowHandle(); });
            bench::postKey(b_, window, Qt::Key_PageDown);
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
            std::printf("note %s: the list shows its only page\n",
                        name(lc, "page_down", size).c_str());
            more(lc, dir, size, t, plain);
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
            std::this_thread::sleep_for(
                bench::AsleepAfter);  // the key meets the list's thread asleep
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
        more(lc, dir, size, t, plain);
        close();
        plain.close();
        rt::joinAllThreads();
        storage::closeAllConnections();
    }

    // The figures beyond the page down: a locate in the clubs' names; the
    // member form opened from the member list and a key typed into its long
    // text box.
    void more(const ListCase& lc, const std::string& dir, int size, QTreeWidget* t,
              bench::PlainList& plain) {
        if (std::string(lc.figure) == "PLAND")
            locate(lc, dir, size, t, plain);
        else
            form(lc, dir, size);
    }

    // The open child window holding a list, or titled title (GUI thread);
    // 0 when none.
    int child(const std::string& title = {}) const {
        const rt::QtBackend::Probe pr = b_.probe();
        for (int w : pr.windows) {
            const rt::ViewPtr v = pr.lastView(w);
            if (!v || v->kind != rt::WindowKind::Child) continue;
            if (!title.empty() ? v->title == title
                               : std::any_of(v->controls.begin(), v->controls.end(),
                                             [](const rt::ControlView& c) {
                                                 return c.kind == rt::ControlKind::List;
                                             }))
                return w;
        }
        return 0;
    }
    // The control of window w's view that test picks, the nth such (GUI thread).
    int control(int w, const std::function<bool(const rt::ControlView&)>& test, int nth = 0) const {
        const rt::ViewPtr v = b_.probe().lastView(w);
        if (v)
            for (const auto& c : v->controls)
                if (test(c) && nth-- == 0) return c.id;
        std::cerr << "a control the benchmark needs is missing\n";
        std::exit(3);
    }
    static std::string withoutAmpersand(std::string s) {
        s.erase(std::remove(s.begin(), s.end(), '&'), s.end());
        return s;
    }

    // Enter in the name locator (the name typed before, untimed) until the
    // list shows the located page, flushed; two names in turn.
    void locate(const ListCase& lc, const std::string& dir, int size, QTreeWidget* t,
                bench::PlainList& plain) {
        const int w = onGui(b_, [&] { return child(); });
        const auto kindIs = [](rt::ControlKind k) {
            return [k](const rt::ControlView& c) { return c.kind == k; };
        };
        const int nameTab = onGui(b_, [&] { return control(w, kindIs(rt::ControlKind::Tab), 1); });
        const int nameEntry =
            onGui(b_, [&] { return control(w, kindIs(rt::ControlKind::Entry), 1); });
        rt::input(w, rt::Input{rt::Input::Kind::TabChosen, nameTab});
        rt::waitIdle(10000);
        bench::Raw raw((fs::path(dir) / "Clanovi.sqlite").string());
        std::string names[2];
        for (int i = 0; i < 2; ++i)
            names[i] = raw.textAt(
                "SELECT P1_NPD FROM PLAND ORDER BY P1_NPD COLLATE NOCASE, P1_SIP LIMIT 1 OFFSET ?",
                size / (i ? 4 : 2));
        plain.top(*watch_);
        Figure f;
        for (int i = 0; i < Locates + WarmPages; ++i) {
            const std::string& n = names[i % 2];
            rt::input(w, rt::Input{rt::Input::Kind::Focus, nameEntry});
            rt::Input text{rt::Input::Kind::Text, nameEntry};
            text.text = rt::toUtf8(bench::trimmed(n));
            rt::input(w, text);
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double us = key(t->viewport(), Qt::Key_Return, [&] { return pageOf(t); });
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double limit = plain.locate(*watch_, n);
            if (i >= WarmPages) {
                f.ours.push_back(us);
                f.limit.push_back(limit);
            }
        }
        printFigure(name(lc, "locate_name_order", size), f);
    }

    // The member form (Promjena) from the list's button until its entries
    // are painted and flushed, beside a plain window of the same widgets;
    // then, in its 5 000-character text box, a key typed (a character at the
    // end of 4 999, then Backspace, in turn) until the box shows it, beside a
    // plain text box of the same size, font and text.
    void form(const ListCase& lc, const std::string& dir, int size) {
        const int list = onGui(b_, [&] { return child(); });
        const int change = onGui(b_, [&] {
            return control(list, [](const rt::ControlView& c) {
                return c.kind == rt::ControlKind::Button && withoutAmpersand(c.text) == "Promjena";
            });
        });
        bench::PlainForm plain(b_, (fs::path(dir) / "Clanovi.sqlite").string());
        const auto inForm = [](QObject* o) {
            for (QObject* p = o; p; p = p->parent())
                if (auto* sub = qobject_cast<QMdiSubWindow*>(p))
                    return sub->windowTitle() == "Promjena";
            return false;
        };
        Figure opening;
        int formWin = 0;
        for (int i = 0; i <= Openings; ++i) {
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            auto done = onGui(b_, [&] {
                auto f = watch_->arm([inForm](QObject* o) {
                    auto* e = qobject_cast<QLineEdit*>(o);
                    return e && !e->text().isEmpty() && inForm(o);
                });
                watch_->start();
                if (QWidget* bt = b_.probe().widget(list, change)) clickOn(bt);
                return f;
            });
            const double us = wait(done, "the member form did not show");
            rt::waitIdle(10000);
            formWin = onGui(b_, [&] { return child("Promjena"); });
            onGui(b_, [&] {
                plain.likeThat(b_.probe().surface(formWin));
                return 0;
            });
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double limit = plain.open(*watch_, "SELECT * FROM CLANOVI LIMIT 1");
            plain.close();
            if (i > 0) {
                opening.ours.push_back(us);
                opening.limit.push_back(limit);
            }
            if (i < Openings) closeChild(formWin);
        }
        printFigure(name(lc, "form_open", size), opening);

        // The long text box, on the form's second tab.
        const int tab = onGui(b_, [&] {
            return control(formWin, [](const rt::ControlView& c) {
                return c.kind == rt::ControlKind::Tab && withoutAmpersand(c.text) == "Podaci-2";
            });
        });
        const int boxId = onGui(b_, [&] {
            return control(formWin,
                           [](const rt::ControlView& c) { return c.name == "?CLA:M1_CLP"; });
        });
        rt::input(formWin, rt::Input{rt::Input::Kind::TabChosen, tab});
        rt::input(formWin, rt::Input{rt::Input::Kind::Focus, boxId});
        rt::Input text{rt::Input::Kind::Text, boxId};
        text.text = std::string(4999, 'A');
        text.caret = text.anchor = 4999;
        rt::input(formWin, text);
        rt::waitIdle(10000);
        auto* box = onGui(
            b_, [&] { return qobject_cast<QPlainTextEdit*>(b_.probe().widget(formWin, boxId)); });
        if (!box || onGui(b_, [&] { return box->document()->characterCount() != 5000; })) {
            std::cerr << "the long text box does not hold its 4 999 characters\n";
            std::exit(3);
        }
        bench::PlainTextBox plainBox(b_);
        plainBox.likeThat(box);
        Figure typed;
        for (int i = 0; i < Keys + WarmPages; ++i) {
            const bool add = i % 2 == 0;
            const int k = add ? Qt::Key_X : Qt::Key_Backspace;
            const QString chars = add ? QStringLiteral("x") : QString(QChar(8));
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            auto done = onGui(b_, [&] {
                const int before = box->document()->characterCount();
                return watch_->arm([box, before](QObject* o) {
                    return o == box->viewport() && box->document()->characterCount() != before;
                });
            });
            QWindow* window = onGui(b_, [&] { return box->window()->windowHandle(); });
            watch_->start();
            bench::postKey(b_, window, k, Qt::NoModifier, chars);
            const double us = wait(done, "the key did not show in the text box");
            rt::waitIdle(10000);
            std::this_thread::sleep_for(bench::AsleepAfter);
            const double limit = plainBox.key(*watch_, k, chars);
            if (i >= WarmPages) {
                typed.ours.push_back(us);
                typed.limit.push_back(limit);
            }
        }
        printFigure(name(lc, "key_in_5000_text", size), typed);
        // The form is left without storing: Esc, as its Cancel.
        closeChild(formWin);
    }

    // A left click on w, as the user's (GUI thread).
    static void clickOn(QWidget* w, QPoint p = QPoint(4, 4)) {
        QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &release);
    }

    // Closes child window w and waits until it is gone; a form that asks
    // whether its changes may be lost is answered Yes.
    void closeChild(int w) {
        rt::input(w, rt::Input{rt::Input::Kind::Close});
        for (int i = 0;
             i < 3000 &&
             onGui(b_,
                   [&] {
                       const rt::QtBackend::Probe pr = b_.probe();
                       for (int d : pr.dialogs)
                           if (auto* box = qobject_cast<QMessageBox*>(pr.dialogWidget(d)))
                               for (QAbstractButton* btn : box->buttons())
                                   if (btn->property("rtButton").toUInt() == rt::ButtonYes) {
                                       btn->click();
                                       break;
                                   }
                       return std::find(pr.windows.begin(), pr.windows.end(), w) !=
                              pr.windows.end();
                   });
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rt::waitIdle(10000);
    }

    rt::QtBackend& b_;
    std::string platform_;
    bench::PaintWatch* watch_ = nullptr;
};

// An 8000 x 8000 RGB picture as PNG: shades and squares.
bool writeLargePng(const fs::path& file) {
    QImage big(8000, 8000, QImage::Format_RGB888);
    for (int y = 0; y < big.height(); ++y) {
        uchar* line = big.scanLine(y);
        for (int x = 0; x < big.width(); ++x) {
            line[3 * x] = static_cast<uchar>(x * 255 / big.width());
            line[3 * x + 1] = static_cast<uchar>(y * 255 / big.height());
            line[3 * x + 2] = static_cast<uchar>((x / 50 + y / 50) % 2 * 160);
        }
    }
    return big.save(QString::fromStdString(file.string()), "PNG");
}

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
        !bench::makeDatabase(data + "/members-100000", 100000, 120) ||
        !bench::makeDatabase(data + "/club-1000", 1000, 1)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    const std::vector<ListCase> lists = {
        {"PLAND",
         "?SIFARNICIPLANINARSKADRUSTVA",
         bench::clubsQuery(),
         {{data + "/small", 1000}, {data + "/clubs-100000", 100000}}},
        {"CLANOVI",
         "?BROWSECLANOVI",
         bench::membersQuery(),
         {{data + "/small", 1000},
          {data + "/members-20000", 20000},
          {data + "/members-100000", 100000}}},
    };
    const fs::path scratch = fs::temp_directory_path() / ("qt-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    // One club of 1 000 members, copied twice: each member with a photo of
    // his own, a link to one JPEG, then to one large PNG.
    const fs::path jpeg = scratch / "photo.jpg", png = scratch / "photo.png";
    bench::writeFile(jpeg, bench::photoOfOneMiB(1600, 1200));
    if (!writeLargePng(png)) {
        std::cerr << "could not write the large PNG\n";
        return 2;
    }
    const fs::path club = fs::path(data) / "club-1000" / "Clanovi.sqlite";
    bench::makeCopy(club, scratch / "jpeg", true, jpeg);
    bench::makeCopy(club, scratch / "png", true, png);
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
                run.photos(lists[1], scratch / "jpeg", scratch / "png", 1000);
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
