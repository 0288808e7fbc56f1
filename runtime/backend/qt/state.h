// The Qt display's own: what the GUI thread keeps of every window and
// dialog, and the small helpers its files share. Included by this folder's
// .cpp files only.
#pragma once

#include <unistd.h>

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/backend/qt/qt_backend.h"

class QMdiArea;
class QSocketNotifier;
class QFrame;
class QDialog;

namespace rt {

struct QtBackend::State {
    QtBackend* self = nullptr;
    std::mutex m;
    std::deque<std::function<void()>> queue;
    bool busy = false;
    bool stopping = false;
    int efd = -1;
    QSocketNotifier* notifier = nullptr;
    DialogUnits units;
    QFont appFont;

    struct Win {
        ViewPtr view;
        QPointer<QWidget> top;       // QMainWindow or QMdiSubWindow
        QWidget* surface = nullptr;  // children: the client area
        QMdiArea* mdi = nullptr;     // the frame
        std::map<int, QWidget*> widgets;
        std::map<int, QAction*> actions;
        std::map<int, int> tabIndex;  // tab control -> index on its sheet's bar
        std::vector<QLabel*> status;
        bool applying = false;
        std::uint64_t inputsTaken = 0;  // the view being applied's (WindowView::inputsTaken)
        DialogUnits units;
    };
    std::map<int, Win> wins;
    std::map<int, ViewPtr> unframed;  // children shown before the frame: their last views
    int frame = 0;
    std::map<int, QWidget*> dialogs;
    std::map<int, DialogRequest> requests;
    std::vector<std::string> pendingStatus;
    QObject* filter = nullptr;
    PrinterChoice printer;  // the printer set-up's last OK
    bool syncing = false;   // the display itself activates or focuses: report nothing
    // Where syncActive last put the focus (window, control; 0 its surface).
    struct FocusShown {
        int window = 0, control = -1;
    } focusShown;

    void drain() {
        std::uint64_t n;
        if (::read(efd, &n, sizeof n) < 0) {
            // nothing to read: another wake-up took it
        }
        for (;;) {
            std::deque<std::function<void()>> batch;
            {
                std::lock_guard g(m);
                if (queue.empty()) {
                    busy = false;
                    return;
                }
                batch.swap(queue);
                busy = true;
            }
            for (auto& f : batch) f();
            syncActive();
        }
    }

    QMdiArea* mdiArea() {
        auto it = wins.find(frame);
        return it == wins.end() ? nullptr : it->second.mdi;
    }

    void apply(const ViewPtr& v);
    void create(Win& w, const WindowView& v);
    void update(Win& w, const WindowView& v);
    void destroy(int id);
    void syncActive();
    // The newest open dialog a window waits on (no popup menu), nullptr for none.
    QWidget* dialogOf(int window) const;
    int dialogId(const QWidget* dialog) const;
    void openDialog(int id, const DialogRequest& r);
    void closeDialog(int id);
    void setStatus(int zone, const std::string& text);
};

// The printer set-up (print_setup.cpp), preset to now; finished gets the
// choice on OK, nullptr on Cancel or close.
QDialog* printSetupDialog(QWidget* parent, const QString& title,
                          const QtBackend::PrinterChoice& now,
                          std::function<void(const QtBackend::PrinterChoice*)> finished);

// Why there is no X display for Qt to use (Qt aborts the process then), or
// nothing when there is one or when Qt is to use another platform
// (display.cpp, which alone sees Xlib: its names clash with Qt's).
std::optional<std::string> missingDisplay();

inline QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QFont qfont(const Font& f);

// Disabled texts in the application's palette drawn in the disabled grey
// (controls/controls.cpp).
void useDisabledGrey();

// The dialog units of a font, measured as the original platform measures them.
DialogUnits unitsOf(const QFont& font);

}  // namespace rt
