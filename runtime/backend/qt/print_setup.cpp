// The printer set-up: which printer, paper and orientation the prints that
// follow use. A non-modal widget like every dialog here; nothing is printed.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPageSize>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QVBoxLayout>

#include "runtime/backend/qt/state.h"

namespace rt {

namespace {

// The papers a printer takes (the usual ones when it names none).
QList<QPageSize> papersOf(const QString& printer) {
    QList<QPageSize> sizes;
    if (!printer.isEmpty()) sizes = QPrinterInfo::printerInfo(printer).supportedPageSizes();
    if (sizes.isEmpty())
        for (auto id : {QPageSize::A4, QPageSize::A5, QPageSize::A3, QPageSize::B5,
                        QPageSize::Letter, QPageSize::Legal, QPageSize::Executive})
            sizes.push_back(QPageSize(id));
    return sizes;
}

}  // namespace

QDialog* printSetupDialog(QWidget* parent, const QString& title,
                          const QtBackend::PrinterChoice& now,
                          std::function<void(const QtBackend::PrinterChoice*)> finished) {
    auto* d = new QDialog(parent);
    d->setWindowTitle(title);
    d->setWindowModality(Qt::NonModal);

    auto* printer = new QComboBox;
    printer->setObjectName("printer");
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty()) {
        printer->addItem(QStringLiteral("(no printer installed)"), QString());
        printer->setEnabled(false);
    } else {
        for (const QString& n : names) printer->addItem(n, n);
        QString pick = q(now.printer);
        if (pick.isEmpty() || !names.contains(pick)) pick = QPrinterInfo::defaultPrinterName();
        printer->setCurrentIndex(std::max(0, printer->findData(pick)));
    }

    auto* paper = new QComboBox;
    paper->setObjectName("paper");
    auto fillPapers = [paper](const QString& forPrinter, const QString& keep) {
        paper->clear();
        for (const QPageSize& s : papersOf(forPrinter)) paper->addItem(s.name(), s.key());
        const int at = paper->findData(keep);
        const int a4 = paper->findData(QPageSize(QPageSize::A4).key());
        paper->setCurrentIndex(at >= 0 ? at : std::max(0, a4));
    };
    fillPapers(printer->currentData().toString(), q(now.paper));
    QObject::connect(printer, &QComboBox::currentIndexChanged, paper, [printer, paper, fillPapers] {
        fillPapers(printer->currentData().toString(), paper->currentData().toString());
    });

    auto* portrait = new QRadioButton(QStringLiteral("&Portrait"));
    portrait->setObjectName("portrait");
    auto* landscape = new QRadioButton(QStringLiteral("&Landscape"));
    landscape->setObjectName("landscape");
    (now.landscape ? landscape : portrait)->setChecked(true);

    auto* printerBox = new QGroupBox(QStringLiteral("Printer"));
    auto* printerForm = new QFormLayout(printerBox);
    printerForm->addRow(QStringLiteral("&Name:"), printer);
    auto* paperBox = new QGroupBox(QStringLiteral("Paper"));
    auto* paperForm = new QFormLayout(paperBox);
    paperForm->addRow(QStringLiteral("Si&ze:"), paper);
    auto* orientationBox = new QGroupBox(QStringLiteral("Orientation"));
    auto* orientation = new QVBoxLayout(orientationBox);
    orientation->addWidget(portrait);
    orientation->addWidget(landscape);
    auto* row = new QHBoxLayout;
    row->addWidget(paperBox, 1);
    row->addWidget(orientationBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(d);
    layout->addWidget(printerBox);
    layout->addLayout(row);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);

    QObject::connect(d, &QDialog::finished, d, [=](int result) {
        if (result != QDialog::Accepted) {
            finished(nullptr);
            return;
        }
        QtBackend::PrinterChoice c;
        c.printer = printer->currentData().toString().toStdString();
        c.paper = paper->currentData().toString().toStdString();
        c.landscape = landscape->isChecked();
        finished(&c);
    });
    return d;
}

}  // namespace rt
