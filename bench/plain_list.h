#pragma once
// The limit beside the painted figures: a minimal Qt list of our own, a
// plain QTableWidget in a window of its own, of the size, font, columns and
// row height of the program's list, that runs the same page's statement on
// the GUI thread when a key comes and sets the cells' texts; the same for a
// photo, a text box and a form. And the watch that tells when a window's
// backing store has been flushed with what a figure waits for.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "bench/window_bench.h"
#include "runtime/backend/qt/qt_backend.h"
#include "runtime/text.h"

namespace bench {

// The p-th fraction of the samples (0.95: p95), the nearest rank.
inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, i == 0 ? 0 : i - 1)];
}

// Watches every event of the application (GUI thread). A window's update
// request, and its expose when shown, paint its dirty widgets into its
// backing store and flush it; they are handled here at once, and after the
// first one in which a paint event met the armed test the figure ends: the
// µs from start().
// Posts a key (press and release) to window's event queue as a key from the
// window system arrives. Made on the GUI thread: an input event made on
// another thread makes Qt's keyboard device there, a child of the
// application on the wrong thread.
inline void postKey(rt::QtBackend& b, QWindow* window, int k,
                    Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    b.post([window, k, mods, text] {
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, k, mods, text));
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, k, mods, text));
    });
}

// Runs fn on the GUI thread and waits until it has run.
template <class F>
void onGuiThread(rt::QtBackend& b, F& fn) {
    std::promise<void> p;
    b.post([&] {
        fn();
        p.set_value();
    });
    p.get_future().get();
}

// The figure's µs once it has ended; a figure that has not ended within
// 30 s ends the benchmark, saying what did not show.
inline double shownWithin(std::future<double>& done, const char* what) {
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::cerr << what << "\n";
        std::exit(3);
    }
    return done.get();
}

class PaintWatch : public QObject {
  public:
    using Test = std::function<bool(QObject*)>;
    explicit PaintWatch(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }
    // A child of the application is deleted after the application has let
    // go of its instance: there is nothing left to remove the filter from.
    ~PaintWatch() override {
        if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    }

    // then, when given, runs on the GUI thread right after the figure ended,
    // given its µs.
    std::future<double> arm(Test test, std::function<void(double)> then = {}) {
        test_ = std::move(test);
        then_ = std::move(then);
        promise_ = std::promise<double>();
        painted_ = false;
        armed_ = true;
        return promise_.get_future();
    }
    // Any thread: the moment the figure starts.
    void start() { t0_ = Clock::now().time_since_epoch().count(); }

    bool eventFilter(QObject* o, QEvent* e) override {
        if (!armed_) return false;
        if (e->type() == QEvent::Paint) {
            if (test_(o)) painted_ = true;
            return false;
        }
        const bool flushes = e->type() == QEvent::UpdateRequest || e->type() == QEvent::Expose;
        const bool top = o->isWidgetType() ? static_cast<QWidget*>(o)->isWindow()
                                           : qobject_cast<QWindow*>(o) != nullptr;
        if (!flushes || !top || inside_) return false;
        inside_ = true;
        o->event(e);
        inside_ = false;
        if (armed_ && painted_) {
            armed_ = false;
            const Clock::time_point t0{Clock::duration{t0_.load()}};
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
            promise_.set_value(us);
            if (then_)
                QMetaObject::invokeMethod(
                    this, [then = std::exchange(then_, {}), us] { then(us); },
                    Qt::QueuedConnection);
        }
        return true;
    }

  private:
    Test test_;
    std::function<void(double)> then_;
    std::promise<double> promise_;
    bool armed_ = false, painted_ = false, inside_ = false;
    std::atomic<Clock::rep> t0_{0};
};

// The statements of a list's pages: the first page; the page after a row
// (the rest of the run of its key: key, code, limit); what follows the run
// (key, limit; none when the key is the code itself, whose page after a
// row binds code and limit).
struct PlainQuery {
    std::string first, inRun, pastRun;
    int keyColumn = 0, codeColumn = 0;
    std::string locate = {};  // the page at or after a name (name, limit)
};

inline PlainQuery clubsQuery() {
    const std::string cols =
        "SELECT P1_SIP,P1_NPD,P1_ADR,P1_SJD,P1_BRG,P1_DAR,P1_TEL,P1_FAX,P1_WEB,P1_EML FROM PLAND ";
    return {
        cols + "ORDER BY P1_SIP LIMIT ?",
        cols + "WHERE P1_SIP > ? ORDER BY P1_SIP LIMIT ?",
        "",
        0,
        0,
        cols + "WHERE P1_NPD >= ? COLLATE NOCASE ORDER BY P1_NPD COLLATE NOCASE, P1_SIP LIMIT ?"};
}

// The member list in the club order it opens on: the thirty fields and the
// three outer joins' names.
inline PlainQuery membersQuery() {
    const std::string cols =
        "SELECT M1_SPS, M1_SIP, M1_SIF, M1_PRE, M1_IME, M1_IOC, M1_BLK, M1_JMB, M1_DRO, M1_ADR, "
        "M1_MST, M1_KVA, M1_ZAN, M1_SIB, M1_SIN, M1_STC, M1_CDA, M1_DCA, M1_EVB, M1_SNU, M1_CLP, "
        "M1_PRZ, M1_NIZ, M1_SIK, M1_SIU, M1_FTE, M1_FMO, M1_EML, M1_PUS, M1_NAP, N1_NAC, N1_SIN, "
        "B1_BRS, B1_SIB, STU_NAS, STU_KVA FROM CLANOVI LEFT JOIN NACION ON N1_SIN = M1_SIN "
        "LEFT JOIN BRAST ON B1_SIB = M1_SIB LEFT JOIN STUPEM ON STU_KVA = M1_KVA ";
    const std::string by = "ORDER BY M1_SIP COLLATE NOCASE, M1_SIF LIMIT ?";
    return {cols + by, cols + "WHERE M1_SIP = ? COLLATE NOCASE AND M1_SIF > ? " + by,
            cols + "WHERE M1_SIP > ? COLLATE NOCASE " + by, 1, 2};
}

class PlainList {
  public:
    PlainList(rt::QtBackend& b, PlainQuery q, const std::string& db)
        : b_(b), q_(std::move(q)), raw_(db) {}
    ~PlainList() { close(); }

    // GUI thread: the size, font, columns and row height of the program's list.
    void likeThat(QTreeWidget* t) {
        size_ = t->size();
        font_ = t->font();
        widths_.clear();
        for (int c = 0; c < t->columnCount(); ++c) widths_.push_back(t->header()->sectionSize(c));
        rows_ = t->topLevelItemCount();
        rowHeight_ = t->topLevelItemCount() ? t->visualItemRect(t->topLevelItem(0)).height() : 16;
    }

    // The window made and shown on the first page: the µs until flushed.
    double open(PaintWatch& watch) {
        std::future<double> done;
        post([&] {
            watch.start();
            table_ = new Table(*this);
            table_->setFont(font_);
            table_->setColumnCount(static_cast<int>(widths_.size()));
            table_->setRowCount(rows_);
            table_->verticalHeader()->hide();
            table_->verticalHeader()->setDefaultSectionSize(rowHeight_);
            for (int c = 0; c < static_cast<int>(widths_.size()); ++c) {
                table_->setColumnWidth(c, widths_[static_cast<std::size_t>(c)]);
                for (int r = 0; r < rows_; ++r) table_->setItem(r, c, new QTableWidgetItem);
            }
            table_->resize(size_);
            lastCode_ = 0;
            fill(q_.first, {}, rows_);
            Table* t = table_;
            done = watch.arm([t](QObject* o) { return o == t->viewport(); });
            table_->show();
            table_->setFocus();
        });
        return done.get();
    }
    void close() {
        post([&] {
            delete table_;
            table_ = nullptr;
        });
    }
    // The first page again, untimed.
    void top(PaintWatch& watch) { key(watch, Qt::Key_Home); }
    // A page down posted to the window: the µs until its page is flushed.
    double pageDown(PaintWatch& watch, int) { return key(watch, Qt::Key_PageDown); }
    // Enter with a name (as stored) to locate: the page at or after it.
    double locate(PaintWatch& watch, const std::string& name) {
        locateName_ = name;
        return key(watch, Qt::Key_Return);
    }

  private:
    class Table : public QTableWidget {
      public:
        explicit Table(PlainList& owner) : owner_(owner) {}

      protected:
        void keyPressEvent(QKeyEvent* e) override {
            if (e->key() == Qt::Key_PageDown)
                owner_.next();
            else if (e->key() == Qt::Key_Home)
                owner_.fill(owner_.q_.first, {}, owner_.rows_);
            else if (e->key() == Qt::Key_Return)
                owner_.fill(owner_.q_.locate, {owner_.locateName_}, owner_.rows_);
            else
                QTableWidget::keyPressEvent(e);
        }

      private:
        PlainList& owner_;
    };

    template <class F>
    void post(F fn) {
        onGuiThread(b_, fn);
    }

    double key(PaintWatch& watch, int k) {
        std::future<double> done;
        QWindow* window = nullptr;
        post([&] {
            Table* t = table_;
            const QString before = pageOf();
            done = watch.arm(
                [t, before, this](QObject* o) { return o == t->viewport() && pageOf() != before; });
            window = t->windowHandle();
        });
        watch.start();
        postKey(b_, window, k);
        return shownWithin(done, "the plain list did not show the page");
    }

    // What tells one page from another: its first and last rows.
    QString pageOf() const {
        QString s;
        for (int r : {0, rows_ - 1})
            for (int c = 0; c < table_->columnCount(); ++c) s += table_->item(r, c)->text() + '|';
        return s;
    }

    // The next page: the rest of the run, then what follows it; the top
    // again after the end.
    void next() {
        const std::string key = lastKey_;
        int n = 0;
        if (q_.pastRun.empty()) {
            n = fill(q_.inRun, {std::to_string(lastCode_)}, rows_);
        } else {
            n = fill(q_.inRun, {key, std::to_string(lastCode_)}, rows_);
            if (n < rows_) n += fill(q_.pastRun, {key}, rows_ - n, n);
        }
        if (n < rows_) fill(q_.first, {}, rows_);
    }

    // Runs sql with the texts bound, then the limit; sets the cells from
    // row `from` on; the rows read.
    int fill(const std::string& sql, const std::vector<std::string>& values, int limit,
             int from = 0) {
        sqlite3_stmt* s = raw_.stmt(sql);
        const auto& api = raw_.api();
        int at = 1;
        for (const std::string& v : values)
            api.bind_text(s, at++, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        api.bind_int(s, at, limit);
        int row = from;
        const int cols = table_->columnCount();
        while (api.step(s) == SQLITE_ROW) {
            for (int c = 0; c < cols && c < api.column_count(s); ++c) {
                const auto* t = reinterpret_cast<const char*>(api.column_text(s, c));
                const std::string text(t ? t : "",
                                       static_cast<std::size_t>(api.column_bytes(s, c)));
                table_->item(row, c)->setText(QString::fromStdString(rt::toUtf8(text)));
            }
            lastKey_.assign(reinterpret_cast<const char*>(api.column_text(s, q_.keyColumn)),
                            static_cast<std::size_t>(api.column_bytes(s, q_.keyColumn)));
            lastCode_ = api.column_int64(s, q_.codeColumn);
            ++row;
        }
        api.reset(s);
        return row - from;
    }

    rt::QtBackend& b_;
    PlainQuery q_;
    Raw raw_;
    Table* table_ = nullptr;
    QSize size_;
    QFont font_;
    std::vector<int> widths_;
    int rows_ = 0, rowHeight_ = 16;
    std::string lastKey_;
    std::int64_t lastCode_ = 0;
    std::string locateName_;
};

// A plain text box of the program's box's size, font and wrapping, in a
// window of its own, holding the same text with the caret at its end.
class PlainTextBox {
  public:
    explicit PlainTextBox(rt::QtBackend& b) : b_(b) {}
    ~PlainTextBox() {
        onGui([&] {
            delete box_;
            box_ = nullptr;
        });
    }
    void likeThat(const QPlainTextEdit* e) {
        onGui([&] {
            box_ = new QPlainTextEdit;
            box_->setFont(e->font());
            box_->setLineWrapMode(e->lineWrapMode());
            box_->setWordWrapMode(e->wordWrapMode());
            box_->resize(e->size());
            box_->setPlainText(e->toPlainText());
            box_->moveCursor(QTextCursor::End);
            box_->show();
            box_->activateWindow();
            box_->setFocus();
        });
    }
    // A key posted to the box's window: the µs until the box shows the
    // changed text, flushed.
    double key(PaintWatch& watch, int k, const QString& text) {
        std::future<double> done;
        QWindow* window = nullptr;
        onGui([&] {
            QPlainTextEdit* e = box_;
            const int before = static_cast<int>(e->document()->characterCount());
            done = watch.arm([e, before](QObject* o) {
                return o == e->viewport() && e->document()->characterCount() != before;
            });
            window = e->windowHandle();
        });
        watch.start();
        postKey(b_, window, k, Qt::NoModifier, text);
        return shownWithin(done, "the plain text box did not show the key");
    }

  private:
    template <class F>
    void onGui(F fn) {
        onGuiThread(b_, fn);
    }
    rt::QtBackend& b_;
    QPlainTextEdit* box_ = nullptr;
};

// A plain picture of the program's photo's size in a window of its own: on
// Down, the photo's file read at the size of the box it is drawn in
// (QImageReader, which reduces a JPEG as it decodes it and scales the rest)
// and painted there, on the GUI thread, as the least Qt program showing a
// photo does.
class PlainPhoto {
  public:
    PlainPhoto(rt::QtBackend& b, QString file) : b_(b), file_(std::move(file)) {}
    ~PlainPhoto() {
        onGui([&] {
            delete picture_;
            picture_ = nullptr;
        });
    }
    // The widget's size and where its picture is drawn in it (rtDrawn).
    void likeThat(const QWidget* w) {
        onGui([&] {
            picture_ = new Picture(file_, w->property("rtDrawn").toRect());
            picture_->resize(w->size());
            picture_->show();
            picture_->activateWindow();
            picture_->setFocus();
        });
    }
    // Down posted to the window: the µs until the photo read anew is
    // painted, flushed.
    double key(PaintWatch& watch) {
        std::future<double> done;
        QWindow* window = nullptr;
        onGui([&] {
            Picture* p = picture_;
            const int before = p->reads;
            done = watch.arm([p, before](QObject* o) { return o == p && p->reads != before; });
            window = p->windowHandle();
        });
        watch.start();
        postKey(b_, window, Qt::Key_Down);
        return shownWithin(done, "the plain photo did not show");
    }

  private:
    class Picture : public QWidget {
      public:
        Picture(QString file, QRect drawn) : file_(std::move(file)), drawn_(drawn) {}
        int reads = 0;

      protected:
        void keyPressEvent(QKeyEvent* e) override {
            if (e->key() != Qt::Key_Down) return QWidget::keyPressEvent(e);
            QImageReader reader(file_);
            reader.setScaledSize(drawn_.size());
            image_ = reader.read();
            if (image_.isNull()) {
                std::cerr << "the plain photo cannot read " << file_.toStdString() << "\n";
                std::exit(3);
            }
            ++reads;
            update();
        }
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            painter.drawImage(drawn_.topLeft(), image_);
        }

      private:
        QString file_;
        QRect drawn_;
        QImage image_;
    };
    template <class F>
    void onGui(F fn) {
        onGuiThread(b_, fn);
    }
    rt::QtBackend& b_;
    QString file_;
    Picture* picture_ = nullptr;
};

// A plain window of a form's size holding widgets of the same kinds, places,
// fonts and texts as the form's shown ones (labels, entries, text boxes,
// buttons, check and radio boxes, group frames), filled from the one row's
// statement: what the least Qt program showing the same form does.
class PlainForm {
  public:
    PlainForm(rt::QtBackend& b, const std::string& db) : b_(b), raw_(db) {}
    ~PlainForm() { close(); }

    // GUI thread: the form's shown widgets, as they stand.
    void likeThat(QWidget* surface) {
        parts_.clear();
        size_ = surface->size();
        for (QWidget* w : surface->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            Part p;
            p.at = QRect(w->mapTo(surface, QPoint(0, 0)), w->size());
            p.font = w->font();
            if (auto* l = qobject_cast<QLabel*>(w)) {
                p.kind = Part::Label;
                p.text = l->text();
            } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
                p.kind = Part::Entry;
                p.text = e->text();
            } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
                p.kind = Part::Box;
                p.text = t->toPlainText();
            } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
                p.kind = Part::Check;
                p.text = c->text();
            } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
                p.kind = Part::Radio;
                p.text = r->text();
            } else if (auto* pb = qobject_cast<QPushButton*>(w)) {
                p.kind = Part::Button;
                p.text = pb->text();
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                p.kind = Part::Group;
                p.text = g->title();
            } else {
                continue;
            }
            parts_.push_back(p);
        }
    }

    // The window made, its row read and shown: the µs until it is flushed.
    double open(PaintWatch& watch, const std::string& rowSql) {
        std::future<double> done;
        post([&] {
            watch.start();
            window_ = new QWidget;
            window_->resize(size_);
            sqlite3_stmt* s = raw_.stmt(rowSql);
            const auto& api = raw_.api();
            std::vector<QString> values;
            if (api.step(s) == SQLITE_ROW)
                for (int c = 0; c < api.column_count(s); ++c) {
                    const auto* t = reinterpret_cast<const char*>(api.column_text(s, c));
                    values.push_back(QString::fromStdString(rt::toUtf8(std::string(
                        t ? t : "", static_cast<std::size_t>(api.column_bytes(s, c))))));
                }
            api.reset(s);
            std::size_t value = 0;
            QWidget* last = nullptr;
            for (const Part& p : parts_) {
                // The entries and boxes show the row's values; their texts
                // as the form showed them (the same pixels to draw).
                if ((p.kind == Part::Entry || p.kind == Part::Box) && !values.empty())
                    benchmark::DoNotOptimize(values[value++ % values.size()]);
                QWidget* w = nullptr;
                switch (p.kind) {
                    case Part::Label:
                        w = new QLabel(p.text, window_);
                        break;
                    case Part::Entry:
                        w = new QLineEdit(p.text, window_);
                        break;
                    case Part::Box: {
                        auto* e = new QPlainTextEdit(window_);
                        e->setPlainText(p.text);
                        w = e;
                        break;
                    }
                    case Part::Check:
                        w = new QCheckBox(p.text, window_);
                        break;
                    case Part::Radio:
                        w = new QRadioButton(p.text, window_);
                        break;
                    case Part::Button:
                        w = new QPushButton(p.text, window_);
                        break;
                    case Part::Group:
                        w = new QGroupBox(p.text, window_);
                        break;
                }
                w->setFont(p.font);
                w->setGeometry(p.at);
                if (p.kind == Part::Group) w->lower();
                last = w;
            }
            QWidget* win = window_;
            QWidget* one = last ? last : win;
            done =
                watch.arm([win, one](QObject* o) { return o == one || (o == win && one == win); });
            window_->show();
        });
        return done.get();
    }
    void close() {
        post([&] {
            delete window_;
            window_ = nullptr;
        });
    }

  private:
    struct Part {
        enum Kind { Label, Entry, Box, Check, Radio, Button, Group } kind = Label;
        QRect at;
        QFont font;
        QString text;
    };
    template <class F>
    void post(F fn) {
        onGuiThread(b_, fn);
    }
    rt::QtBackend& b_;
    Raw raw_;
    QWidget* window_ = nullptr;
    QSize size_;
    std::vector<Part> parts_;
};

}  // namespace bench
