// Message boxes, the file dialog, popups and the printer dialog: non-modal
// widgets, answered with rt::answerDialog.
#include <QAbstractButton>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "runtime/backend/qt/state.h"
#include "runtime/window/window.h"

namespace rt {
namespace {

void answerCloseBox(int id) {
    DialogAnswer a;
    a.closeBox = true;
    rt::answerDialog(id, a);
}

class CloseBoxFilter : public QObject {
  public:
    CloseBoxFilter(int id, QObject* parent) : QObject(parent), id_(id) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const bool esc =
            e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape;
        if (e->type() != QEvent::Close && !esc) return QObject::eventFilter(watched, e);
        e->ignore();  // the box goes when the answer has been taken
        answerCloseBox(id_);
        return true;
    }

  private:
    int id_;
};

}  // namespace

namespace {

// A box sizes itself by its text alone, while the title bar draws the title
// bolder and larger, beside its icon and buttons: keep the box wide enough
// for the whole title.
void fitTitle(QMessageBox* box) {
    QFont f = box->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.25);
    const int width = QFontMetrics(f).horizontalAdvance(box->windowTitle()) + 96;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

// A dialog takes the keyboard as it opens, whatever window the window
// manager would have left it with.
void showActive(QWidget* dialog) {
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

void QtBackend::State::openDialog(int id, const DialogRequest& r) {
    requests[id] = r;
    QWidget* parent = nullptr;
    if (auto f = wins.find(frame); f != wins.end()) parent = f->second.top;
    switch (r.kind) {
        case DialogRequest::Kind::Message: {
            auto* box = new QMessageBox(parent);
            box->setWindowModality(Qt::NonModal);
            // A box without a caption of its own shows an empty one: Qt
            // would put the program's name in a title left empty.
            box->setWindowTitle(r.message.title.empty() ? QStringLiteral(" ") : q(r.message.title));
            box->setText(q(r.message.text));
            switch (r.message.icon) {
                case Icon::Question:
                    box->setIcon(QMessageBox::Question);
                    break;
                case Icon::Exclamation:
                    box->setIcon(QMessageBox::Warning);
                    break;
                case Icon::Hand:
                    box->setIcon(QMessageBox::Critical);
                    break;
                case Icon::Asterisk:
                    box->setIcon(QMessageBox::Information);
                    break;
                default:
                    break;
            }
            struct B {
                Button b;
                QMessageBox::StandardButton s;
                const char* text;
            };
            const B all[] = {{ButtonYes, QMessageBox::Yes, "&Yes"},
                             {ButtonNo, QMessageBox::No, "&No"},
                             {ButtonCancel, QMessageBox::Cancel, "Cancel"},
                             {ButtonOk, QMessageBox::Ok, "OK"}};
            for (const B& b : all) {
                if (!(r.message.buttons & b.b)) continue;
                QAbstractButton* btn = box->addButton(b.s);
                btn->setText(QString::fromLatin1(b.text));
                btn->setProperty("rtButton", static_cast<unsigned>(b.b));
                if (r.message.defaultButton == b.b)
                    box->setDefaultButton(static_cast<QPushButton*>(btn));
            }
            QObject::connect(box, &QMessageBox::buttonClicked, box, [id](QAbstractButton* btn) {
                DialogAnswer a;
                a.button = static_cast<Button>(btn->property("rtButton").toUInt());
                rt::answerDialog(id, a);
            });
            // The close box and Esc are reported as they are; the window
            // layer decides what they answer. The box's own handling (which
            // clicks a button of its choosing, or ignores the close) never runs.
            box->installEventFilter(new CloseBoxFilter(id, box));
            QObject::connect(box, &QDialog::rejected, box, [id] { answerCloseBox(id); });
            fitTitle(box);
            dialogs[id] = box;
            showActive(box);
            break;
        }
        case DialogRequest::Kind::File: {
            // In the current directory, without a file name; the widget
            // dialog, so that it stays one non-modal widget like the others.
            auto* d = new QFileDialog(parent, q(r.file.title), QDir::currentPath());
            d->setOption(QFileDialog::DontUseNativeDialog);
            d->setWindowModality(Qt::NonModal);
            d->setAcceptMode(QFileDialog::AcceptOpen);
            d->setFileMode(r.file.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            QStringList filters;
            // "*.*" means every file, with or without a dot in its name.
            for (const auto& [desc, pattern] : r.file.filters)
                filters << q(desc) + " (" + (pattern == "*.*" ? QString("*") : q(pattern)) + ")";
            if (!filters.isEmpty()) d->setNameFilters(filters);
            QObject::connect(d, &QFileDialog::fileSelected, d, [id](const QString& f) {
                DialogAnswer a;
                a.path = f.toStdString();
                rt::answerDialog(id, a);
            });
            QObject::connect(d, &QDialog::rejected, d, [id] { rt::answerDialog(id, {}); });
            dialogs[id] = d;
            showActive(d);
            break;
        }
        case DialogRequest::Kind::Popup: {
            auto* m = new QMenu(parent);
            int i = 0;
            for (const auto& item : r.items) {
                ++i;
                if (item == "-") {
                    m->addSeparator();
                    continue;
                }
                QAction* a = m->addAction(q(item));
                const int n = i;
                QObject::connect(a, &QAction::triggered, m, [id, n] {
                    DialogAnswer ans;
                    ans.item = n;
                    rt::answerDialog(id, ans);
                });
            }
            // Dismissed without a choice: answered with none, after a
            // triggered action (which comes later) had its chance.
            QObject::connect(m, &QMenu::aboutToHide, m, [id, m] {
                QMetaObject::invokeMethod(
                    m, [id] { rt::answerDialog(id, {}); }, Qt::QueuedConnection);
            });
            dialogs[id] = m;
            m->popup(QCursor::pos());
            break;
        }
        case DialogRequest::Kind::Print: {
            // The printer for a report: the system's printers (CUPS) and the
            // file printer (PDF). Non-modal; the pages are drawn by the
            // renderer once the asking thread has the answer.
            auto* pr = new QPrinter(QPrinter::HighResolution);
            if (!printer.printer.empty()) pr->setPrinterName(q(printer.printer));
            pr->setDocName(q(r.jobTitle));
            auto* d = new QPrintDialog(pr, parent);
            d->setWindowTitle(q(r.message.title));
            d->setOption(QAbstractPrintDialog::PrintPageRange, false);
            d->setOption(QAbstractPrintDialog::PrintToFile, true);
            QObject::connect(d, &QObject::destroyed, [pr] { delete pr; });
            QObject::connect(d, &QDialog::finished, d, [id, pr](int result) {
                DialogAnswer a;
                a.button = result == QDialog::Accepted ? ButtonOk : ButtonCancel;
                if (result == QDialog::Accepted) {
                    if (pr->outputFormat() == QPrinter::PdfFormat)
                        a.path = pr->outputFileName().toStdString();
                    else
                        a.printer = pr->printerName().toStdString();
                }
                rt::answerDialog(id, a);
            });
            dialogs[id] = d;
            showActive(d);
            break;
        }
        case DialogRequest::Kind::PrintSetup: {
            QDialog* d = printSetupDialog(parent, q(r.message.title), printer,
                                          [this, id](const PrinterChoice* c) {
                                              if (c) printer = *c;
                                              DialogAnswer a;
                                              a.button = c ? ButtonOk : ButtonCancel;
                                              rt::answerDialog(id, a);
                                          });
            dialogs[id] = d;
            showActive(d);
            break;
        }
    }
}

void QtBackend::State::closeDialog(int id) {
    requests.erase(id);
    auto it = dialogs.find(id);
    if (it == dialogs.end()) return;
    QWidget* w = it->second;
    dialogs.erase(it);
    w->blockSignals(true);
    w->hide();
    w->deleteLater();
}

}  // namespace rt
