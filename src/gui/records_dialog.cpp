#include "gui/records_dialog.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/results_dialogs.h"
#include "gui/value_dialog.h"
#include "records/compare.h"
#include "records/matching.h"
#include "records/render.h"
#include "records/csv.h"
#include "vb/error.h"

namespace gui {

namespace {

// The reader gives its records in batches; the window takes them in
// batches of its own, the first small so that it shows soon.
constexpr size_t kFirstBatch = 100;

QString DefaultSaveFileName(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, QObject::tr("Export Records"), suggested,
                                        QObject::tr("CSV files (*.csv);;All files (*)"));
}

}  // namespace

RecordsDialog::RecordsDialog(RecordsContext context, records::Place place, const QString& edition,
                             std::string livePath, QWidget* parent)
    : QDialog(parent),
      context_(std::move(context)),
      place_(std::move(place)),
      edition_(edition),
      live_(std::move(livePath)),
      model_(new RecordsModel(this)),
      find_(new QLineEdit(this)),
      table_(new QTableView(this)),
      count_(new QLabel(this)),
      status_(new QLabel(this)),
      compare_(new QPushButton(tr("Compare with &Current"), this)),
      export_(new QPushButton(tr("&Export…"), this)),
      copy_(new QPushButton(tr("Co&py"), this)),
      findAll_(new QPushButton(tr("Find in &All Copies"), this)),
      close_(new QPushButton(tr("C&lose"), this)),
      exportMenu_(new QMenu(this)),
      exporter_(new RecordsExport(this)) {
    if (!context_.saveFileName) context_.saveFileName = DefaultSaveFileName;
    if (!context_.confirmPartial) context_.confirmPartial = AskPartialExport;
    if (!context_.hostPath) context_.hostPath = [](const std::string& path) { return path; };
    setObjectName(QStringLiteral("records"));
    setWindowTitle(tr("Records - %1").arg(Name()));
    setSizeGripEnabled(true);

    auto* findLabel = new QLabel(tr("&Find:"), this);
    findLabel->setBuddy(find_);
    find_->setObjectName(QStringLiteral("txtFind"));
    find_->setClearButtonEnabled(true);
    find_->setAccessibleName(tr("Find"));
    find_->setAccessibleDescription(tr("Shows the records whose text holds this, in any case"));

    table_->setObjectName(QStringLiteral("tblRecords"));
    table_->setModel(model_);
    table_->setAccessibleName(tr("Records"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    table_->horizontalHeader()->setDefaultSectionSize(140);

    for (QLabel* label : {count_, status_}) {
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    }
    count_->setObjectName(QStringLiteral("lblCount"));
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setWordWrap(true);

    // Copy: Ctrl+C in the table, and its context menu (right click, the
    // Menu key, Shift+F10).
    auto* copy = new QAction(tr("&Copy"), table_);
    copy->setObjectName(QStringLiteral("actCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &RecordsDialog::CopySelected);
    table_->addAction(copy);
    // Show Value: the current cell whole, from the context menu or Enter
    // (or a double click) on the cell.
    auto* showValue = new QAction(tr("Show &Value…"), table_);
    showValue->setObjectName(QStringLiteral("actShowValue"));
    connect(showValue, &QAction::triggered, this, [this] { ShowValue(table_->currentIndex()); });
    table_->addAction(showValue);
    connect(table_, &QTableView::activated, this, &RecordsDialog::ShowValue);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), table_);
    menuKey->setContext(Qt::WidgetShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        QMenu menu;
        menu.addActions(table_->actions());
        const QRect cell = table_->visualRect(table_->currentIndex());
        menu.exec(table_->viewport()->mapToGlobal(cell.isValid() ? cell.bottomLeft() : QPoint(0, 0)));
    });

    const std::pair<Scope, QString> scopes[] = {{Scope::All, tr("&All Records…")},
                                                {Scope::Found, tr("&Found Records…")},
                                                {Scope::Selected, tr("&Selected Records…")}};
    for (const auto& [scope, text] : scopes) {
        QAction* action = exportMenu_->addAction(text);
        connect(action, &QAction::triggered, this, [this, scope = scope] { Export(scope); });
    }
    export_->setMenu(exportMenu_);

    // A backup can be restored and a numbered copy put back from here, one
    // step from where Find in All Copies brought the user.
    const records::Origin origin = records::OriginOf(place_);
    if (context_.replaceLive && origin != records::Origin::Live) {
        // A version of the history store ("@12") is put back as a numbered copy is.
        const bool backup = origin == records::Origin::Backup && place_.caption.rfind('@', 0) != 0;
        replace_ = new QPushButton(backup ? tr("&Restore…") : tr("Put &Back…"), this);
        connect(replace_, &QPushButton::clicked, this, [this] { context_.replaceLive(place_, this); });
    }
    const std::pair<QPushButton*, const char*> buttons[] = {{compare_, "cmdCompare"}, {export_, "cmdExport"},
                                                            {copy_, "cmdCopy"},       {findAll_, "cmdFindAll"},
                                                            {replace_, "cmdReplace"}, {close_, "cmdClose"}};
    auto* row = new QHBoxLayout;
    for (const auto& [button, name] : buttons) {
        if (!button) continue;
        button->setObjectName(QString::fromLatin1(name));
        button->setAccessibleName(button->text().remove(QLatin1Char('&')).remove(QChar(0x2026)));
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
        if (button == close_) row->addStretch();
        row->addWidget(button);
    }
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(findLabel);
    findRow->addWidget(find_, 1);
    findRow->addWidget(count_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(findRow);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    layout->addLayout(row);
    resize(820, 480);

    setTabOrder(find_, table_);
    setTabOrder(table_, compare_);
    setTabOrder(compare_, export_);
    setTabOrder(export_, copy_);
    setTabOrder(copy_, findAll_);
    if (replace_) setTabOrder(findAll_, replace_);
    setTabOrder(replace_ ? replace_ : findAll_, close_);
    find_->setFocus();

    connect(find_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->SetFilter(text);
        ShowCount();
        FollowState();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, &RecordsDialog::ShowCount);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &RecordsDialog::FollowState);
    connect(compare_, &QPushButton::clicked, this, &RecordsDialog::CompareWithCurrent);
    connect(copy_, &QPushButton::clicked, this, &RecordsDialog::CopySelected);
    connect(findAll_, &QPushButton::clicked, this, &RecordsDialog::FindInAllCopies);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(exporter_, &RecordsExport::finished, this, [this](const ExportOutcome& outcome) {
        const QString file = exportFile_;
        const QString count = QString::fromStdString(records::CountOf(outcome.records, "record"));
        if (outcome.written && failed_)
            status_->setText(tr("%1 exported to %2. The copy is damaged after them, so the export is partial.")
                                 .arg(count, file));
        else if (outcome.written)
            status_->setText(tr("%1 exported to %2.").arg(count, file));
        else if (outcome.cancelled)
            status_->setText(tr("Export cancelled; no file was written."));
        else
            status_->setText(tr("Could not write %1: %2").arg(file, outcome.error));
        FollowState();
        emit exported(outcome.written);
    });
    ShowCount();
    FollowState();
}

RecordsDialog::~RecordsDialog() {
    exporter_->Cancel();  // before the records it writes go
    comparing_.Stop();
    loading_.Stop();
}

QString RecordsDialog::Name() const { return edition_ + QLatin1Char(' ') + QString::fromStdString(place_.caption); }

void RecordsDialog::Load() {
    status_->setText(tr("Reading %1…").arg(QString::fromStdString(context_.hostPath(place_.path))));
    complete_ = failed_ = false;
    FollowState();
    loading_.Start([sources = context_.sources, path = place_.path, this](Background& job) {
        std::string failure, detail;
        try {
            std::unique_ptr<records::Source> source = sources();
            std::vector<records::Column> columns;
            size_t wanted = kFirstBatch;
            // Records are packed here, off the window's thread; the window
            // copies the packed bytes into its own store.
            auto pending = std::make_shared<records::RecordStore>();
            const auto hand = [&] {
                job.Post([this, batch = pending] { model_->Append(*batch); });
                pending = std::make_shared<records::RecordStore>(columns);
                wanted = std::min<size_t>(wanted * 4, 5000);
            };
            source->Read(
                path,
                [&](records::Source::Layout layout) {
                    columns = layout.columns;
                    pending = std::make_shared<records::RecordStore>(columns);
                    job.Post([this, layout = std::move(layout)]() mutable {
                        model_->SetColumns(std::move(layout.columns), std::move(layout.primaryKey), layout.storedCount);
                    });
                },
                [&](std::vector<records::Record>& batch) {
                    for (const auto& record : batch) {
                        pending->Add(record);
                        if (pending->Size() >= wanted) hand();
                    }
                    // Whatever arrived is shown while the reader reads on.
                    if (pending->Size() > 0) hand();
                    return !job.Stopped();
                });
        } catch (const vb::Error& error) {
            failure = error.what();
            if (failure.empty()) failure = "Error " + std::to_string(error.Number());
            detail = error.Detail();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        job.Post([this, failure, detail] {
            failed_ = !failure.empty();
            complete_ = !failed_;
            // Why, in the reader's words where it gave them (the check a
            // damaged file failed; "no Jet signature" for a file that is
            // not a database), else the error's own.
            const std::string why = records::Escaped(detail.empty() ? failure : detail, false);
            failure_ = QString::fromStdString(why);
            const size_t read = model_->Total();
            if (failed_ && read == 0)
                status_->setText(tr("This copy cannot be read: %1")
                                     .arg(QString::fromStdString(records::Escaped(failure, false) +
                                                                 (detail.empty() ? "" : " (" + why + ")"))));
            else if (failed_)
                status_->setText(QString::fromStdString(records::DamagedAfter(read, why) + "."));
            else if (const std::string warning = records::CountWarning(read, model_->Records().StoredCount()); !warning.empty())
                status_->setText(tr("Warning: %1. The copy may be damaged.").arg(QString::fromStdString(warning)));
            else
                status_->clear();
            ShowCount();
            FollowState();
            emit loaded();
        });
    });
}

void RecordsDialog::ShowCount() {
    count_->setText(tr("%1 of %2 records").arg(model_->Shown().size()).arg(model_->Total()));
}

// Compare and Export want every record; a copy that could not be read to
// its end would show differences or write a file that are not so.
void RecordsDialog::FollowState() {
    const bool selected = table_->selectionModel() && table_->selectionModel()->hasSelection();
    compare_->setEnabled(complete_ && !live_.empty() && live_ != place_.path && !comparingNow_);
    // A copy read in part may be exported, after a question (Export).
    export_->setEnabled((complete_ || (failed_ && model_->Total() > 0)) && !exporter_->Running());
    copy_->setEnabled(selected);
    findAll_->setEnabled(!find_->text().isEmpty());
    const QList<QAction*> actions = exportMenu_->actions();
    actions[1]->setEnabled(!find_->text().isEmpty());
    actions[2]->setEnabled(selected);
}

std::vector<size_t> RecordsDialog::Rows(Scope scope) const {
    std::vector<size_t> rows;
    if (scope == Scope::All) {
        for (size_t n = 0; n < model_->Total(); ++n) rows.push_back(n);
    } else if (scope == Scope::Found) {
        rows.assign(model_->Shown().begin(), model_->Shown().end());
    } else {
        for (const QModelIndex& index : table_->selectionModel()->selectedRows())
            rows.push_back(model_->Shown()[index.row()]);
        std::sort(rows.begin(), rows.end());
    }
    return rows;
}

bool RecordsDialog::Export(Scope scope) {
    if (!export_->isEnabled()) return false;
    const std::vector<size_t> rows = Rows(scope);
    if (failed_ &&
        !context_.confirmPartial(
            this, tr("This copy could not be read to its end: %1\n\nOnly the %2 read before that are here, so the "
                     "export will be partial. Export them anyway?")
                      .arg(failure_, QString::fromStdString(records::CountOf(model_->Total(), "record")))))
        return false;
    QString suggested = Name() + QStringLiteral(".csv");
    suggested.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString file = context_.saveFileName(this, suggested);
    if (file.isEmpty()) return false;
    exportFile_ = file;
    status_->setText(tr("Exporting to %1…").arg(file));
    // The records no longer change: every batch has been read.
    if (!exporter_->Start(model_->Records(), std::vector<uint32_t>(rows.begin(), rows.end()), file)) return false;
    FollowState();
    return true;
}

void RecordsDialog::CopySelected() {
    const std::vector<size_t> rows = Rows(Scope::Selected);
    if (rows.empty()) return;
    const std::string text = records::Write(model_->Records(), rows, records::kTabSeparated);
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void RecordsDialog::CompareWithCurrent() {
    if (!compare_->isEnabled()) return;
    status_->setText(tr("Comparing with the live database…"));
    comparingNow_ = true;
    comparing_.Start([sources = context_.sources, live = live_, this](Background& job) {
        try {
            std::unique_ptr<records::Source> source = sources();
            // This copy's records are complete and no longer change; of the
            // live database only what differs is kept as it is read.
            auto compared = std::make_shared<records::CompareAsRead>(model_->Records());
            source->Read(
                live, [&](records::Source::Layout layout) { compared->Layout(std::move(layout)); },
                [&](std::vector<records::Record>& batch) {
                    for (records::Record& record : batch) compared->Add(std::move(record));
                    return !job.Stopped();
                });
            if (job.Stopped()) return;
            auto comparison = std::make_shared<records::Comparison>(compared->Finish());
            job.Post([this, compared, comparison] {
                comparingNow_ = false;
                status_->clear();
                auto* results = new ComparisonDialog(model_->Records(), std::move(compared->Kept()), compared->Read(),
                                                     std::move(*comparison), Name(), edition_, context_.saveFileName,
                                                     this);
                results->setAttribute(Qt::WA_DeleteOnClose);
                results->show();
                FollowState();
                emit resultsShown(results);
            });
        } catch (const vb::Error& error) {
            job.Post([this, what = std::string(error.what())] {
                comparingNow_ = false;
                status_->setText(tr("The live database cannot be read: %1").arg(QString::fromStdString(what)));
                FollowState();
            });
        }
    });
    FollowState();
}

void RecordsDialog::FindInAllCopies() {
    if (find_->text().isEmpty()) return;
    auto* results = new FindAllDialog(context_, find_->text().toStdString(), edition_, this);
    results->setAttribute(Qt::WA_DeleteOnClose);
    results->show();
    emit resultsShown(results);
}

void RecordsDialog::ShowValue(const QModelIndex& index) {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= model_->Shown().size()) return;
    const records::RecordStore& store = model_->Records();
    const records::Record record = store.Get(model_->Shown()[static_cast<size_t>(index.row())]);
    const size_t c = static_cast<size_t>(index.column());
    if (c >= record.size()) return;
    const QString name = QString::fromStdString(
        records::Escaped(store.Columns()[c].name, false) + " - " +
        records::Escaped(records::RecordName(store.Columns(), record, store.PrimaryKey()), false));
    auto* shown = new ValueDialog(record[c], name, context_.saveFileName, this);
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->show();
    emit valueShown(shown);
}

}  // namespace gui
