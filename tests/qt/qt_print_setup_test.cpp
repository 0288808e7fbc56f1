// "Setovanje printera": a printer set-up (printer, paper, orientation for
// the prints that follow), not a print dialog; non-modal, so the rest of the
// program goes on while it is open.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtPrintSetupTest : public QtTest {
  protected:
    // Asks for the printer set-up on a thread of its own, as the menu item
    // does; returns the open dialog.
    QDialog* ask(std::atomic<bool>& answered) {
        answered = false;
        rt::startProcedure([&answered] {
            rt::printSetup();
            answered = true;
        });
        QDialog* d = nullptr;
        pumpUntil([&] {
            auto pr = backend_->probe();
            for (int id : pr.dialogs)
                if (pr.dialogRequest(id).kind == rt::DialogRequest::Kind::PrintSetup)
                    d = qobject_cast<QDialog*>(pr.dialogWidget(id));
            return d && d->isVisible();
        });
        return d;
    }
    static void press(QDialog* d, QDialogButtonBox::StandardButton which) {
        auto* box = d->findChild<QDialogButtonBox*>();
        ASSERT_TRUE(box);
        box->button(which)->click();
    }
};

TEST_F(QtPrintSetupTest, ChoosesPrinterPaperAndOrientationForThePrintsThatFollow) {
    std::atomic<bool> answered{false};
    QDialog* d = ask(answered);
    ASSERT_TRUE(d) << "no printer set-up opened";
    EXPECT_EQ(d->windowModality(), Qt::NonModal);
    EXPECT_TRUE(d->findChildren<QLineEdit*>().isEmpty()) << "it asks for an output file";
    auto* printer = d->findChild<QComboBox*>("printer");
    auto* paper = d->findChild<QComboBox*>("paper");
    auto* landscape = d->findChild<QRadioButton*>("landscape");
    auto* portrait = d->findChild<QRadioButton*>("portrait");
    ASSERT_TRUE(printer && paper && landscape && portrait);
    EXPECT_TRUE(portrait->isChecked());
    EXPECT_EQ(paper->currentData().toString(), "A4");

    const int a5 = paper->findData("A5");
    ASSERT_GE(a5, 0);
    paper->setCurrentIndex(a5);
    landscape->setChecked(true);
    press(d, QDialogButtonBox::Ok);
    ASSERT_TRUE(pumpUntil([&] { return answered.load(); }));
    EXPECT_EQ(backend_->printerChoice().paper, "A5");
    EXPECT_TRUE(backend_->printerChoice().landscape);
    EXPECT_EQ(backend_->printerChoice().printer, printer->currentData().toString().toStdString());

    // The next set-up starts from that choice; Cancel keeps it.
    d = ask(answered);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->findChild<QComboBox*>("paper")->currentData().toString(), "A5");
    EXPECT_TRUE(d->findChild<QRadioButton*>("landscape")->isChecked());
    d->findChild<QRadioButton*>("portrait")->setChecked(true);
    press(d, QDialogButtonBox::Cancel);
    ASSERT_TRUE(pumpUntil([&] { return answered.load(); }));
    EXPECT_TRUE(backend_->printerChoice().landscape);
}

}  // namespace
