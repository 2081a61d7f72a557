#include "gui/check_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "records/render.h"

namespace gui {

namespace {

QString Escaped(const std::string& text) { return QString::fromStdString(records::Escaped(text, false)); }

QString SeverityText(ports::Severity s) {
    switch (s) {
    case ports::Severity::Damaged: return QObject::tr("damaged");
    case ports::Severity::Warning: return QObject::tr("warning");
    case ports::Severity::Note: return QObject::tr("note");
    }
    return {};
}

}  // namespace

CheckDialog::CheckDialog(MakeCheck makeCheck, std::string path, const QString& caption, const QString& file,
                         QWidget* parent)
    : QDialog(parent),
      makeCheck_(std::move(makeCheck)),
      path_(std::move(path)),
      verdict_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      findings_(new QTableWidget(0, 5, this)),
      close_(new QPushButton(tr("&Close"), this)) {
    setObjectName(QStringLiteral("checkDialog"));
    setWindowTitle(tr("Check - %1").arg(caption));
    setSizeGripEnabled(true);

    auto* what = new QLabel(tr("Every page, row, long value and index of %1:").arg(file), this);
    what->setTextFormat(Qt::PlainText);
    what->setWordWrap(true);

    verdict_->setObjectName(QStringLiteral("checkVerdict"));
    verdict_->setTextFormat(Qt::PlainText);
    verdict_->setWordWrap(true);
    verdict_->setText(tr("Checking %1…").arg(caption));
    verdict_->setAccessibleName(tr("Verdict"));

    bar_->setObjectName(QStringLiteral("checkBar"));
    bar_->setAccessibleName(tr("Progress of the check of %1").arg(caption));
    bar_->setRange(0, 0);  // busy until the first batch tells how much there is

    findings_->setObjectName(QStringLiteral("checkFindings"));
    findings_->setAccessibleName(tr("Findings"));
    findings_->setAccessibleDescription(tr("What the check found, one row each: severity, table, page, row, what"));
    findings_->setHorizontalHeaderLabels({tr("Severity"), tr("Table"), tr("Page"), tr("Row"), tr("What")});
    findings_->verticalHeader()->hide();
    findings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    findings_->setSelectionBehavior(QAbstractItemView::SelectRows);
    findings_->setSelectionMode(QAbstractItemView::SingleSelection);
    findings_->setTabKeyNavigation(false);
    findings_->horizontalHeader()->setStretchLastSection(true);
    findings_->setWordWrap(false);

    close_->setObjectName(QStringLiteral("cmdClose"));
    close_->setAccessibleName(tr("Close"));
    close_->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addWidget(bar_);
    layout->addWidget(verdict_);
    layout->addWidget(findings_, 1);
    layout->addLayout(row);
    resize(720, 360);
    setTabOrder(findings_, close_);
    close_->setFocus();

    connect(close_, &QPushButton::clicked, this, &CheckDialog::reject);
}

CheckDialog::~CheckDialog() { background_.Stop(); }

void CheckDialog::Start() {
    done_ = false;
    background_.Start([this, makeCheck = makeCheck_, path = path_](Background& job) {
        ports::CheckResult result;
        try {
            const std::unique_ptr<ports::FileCheck> check = makeCheck();
            result = check->Check(path, [&job, this](uint64_t done, uint64_t total) {
                job.Post([this, done, total] {
                    bar_->setRange(0, 1000);
                    bar_->setValue(total == 0 ? 1000 : static_cast<int>(1000.0 * static_cast<double>(done) /
                                                                         static_cast<double>(total)));
                });
                return !job.Stopped();
            });
        } catch (const std::exception& e) {
            result.findings.push_back({ports::Severity::Damaged, std::string("it cannot be checked: ") + e.what(), {}, {}, {}});
        }
        job.Post([this, result = std::move(result)] { Show(result); });
    });
}

void CheckDialog::Show(const ports::CheckResult& result) {
    done_ = true;
    bar_->setRange(0, 1000);
    bar_->setValue(1000);
    switch (result.verdict()) {
    case ports::Verdict::Good: verdict_->setText(tr("Good: nothing is wrong with it.")); break;
    case ports::Verdict::Warnings:
        verdict_->setText(tr("%n warning(s), which Jet tolerates; nothing is damaged.", "",
                             static_cast<int>(result.Count(ports::Severity::Warning))));
        break;
    case ports::Verdict::Damaged:
        verdict_->setText(tr("Damaged: %1").arg(Escaped(ports::Describe(*result.First(ports::Severity::Damaged)))));
        break;
    }
    findings_->setRowCount(static_cast<int>(result.findings.size()));
    for (int i = 0; i < findings_->rowCount(); ++i) {
        const ports::Finding& f = result.findings[static_cast<size_t>(i)];
        const QString cells[] = {SeverityText(f.severity), Escaped(f.table),
                                 f.page ? QString::number(*f.page) : QString(),
                                 f.row ? QString::number(*f.row) : QString(), Escaped(f.what)};
        for (int c = 0; c < 5; ++c) findings_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    findings_->resizeColumnsToContents();
    if (!result.findings.empty()) {
        findings_->setCurrentCell(0, 0);
        findings_->setFocus();
    }
}

void CheckDialog::reject() {
    // A running check stops at its next batch; the dialog then closes.
    background_.Stop();
    QDialog::reject();
}

}  // namespace gui
