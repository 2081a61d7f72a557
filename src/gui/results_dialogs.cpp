#include "gui/results_dialogs.h"

#include "gui/records_dialog.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QSaveFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <QDateTime>
#include <QLocale>

#include "catalogue/paths.h"
#include "records/render.h"
#include "records/timeline.h"
#include "vb/error.h"

namespace gui {

namespace {

QString Harmless(const std::string& text, size_t most = 80) {
    QString shown = QString::fromStdString(records::Escaped(text, false));
    if (shown.size() > static_cast<qsizetype>(most)) shown = shown.left(most) + QChar(0x2026);
    return shown;
}

void CloseButton(QDialog* dialog, QVBoxLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    buttons->button(QDialogButtonBox::Close)->setText(QObject::tr("C&lose"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace

ComparisonDialog::ComparisonDialog(const records::RecordsView& which, records::Table current, size_t read,
                                   records::Comparison comparison, const QString& whichName,
                                   const QString& edition, std::function<QString(QWidget*, const QString&)> saveFileName,
                                   QWidget* parent)
    : QDialog(parent),
      which_(which),
      current_(std::move(current)),
      comparison_(std::move(comparison)),
      saveFileName_(std::move(saveFileName)),
      whichName_(whichName),
      summary_(new QLabel(this)),
      tree_(new QTreeView(this)),
      status_(new QLabel(this)),
      copy_(new QPushButton(tr("Co&py"), this)),
      export_(new QPushButton(tr("&Export…"), this)) {
    setObjectName(QStringLiteral("comparison"));
    setWindowTitle(tr("Compare - %1 with Current").arg(whichName));
    setSizeGripEnabled(true);
    const records::Comparison& c = comparison_;
    const QString live = tr("%1 (Current)").arg(edition);

    QStringList lines;
    const QString key = Harmless([&] {
        std::string names;
        for (const std::string& name : c.key) names += (names.empty() ? "" : ", ") + name;
        return names;
    }());
    switch (c.matchedBy) {
    case records::Comparison::MatchedBy::PrimaryKey: lines << tr("Records matched by the primary key (%1).").arg(key); break;
    case records::Comparison::MatchedBy::IdColumn: lines << tr("Records matched by the column %1.").arg(key); break;
    case records::Comparison::MatchedBy::WholeRecord: lines << tr("Records matched by all their values."); break;
    }
    const auto names = [](const std::vector<std::string>& columns) {
        QStringList list;
        for (const std::string& name : columns) list << Harmless(name);
        return list.join(QStringLiteral(", "));
    };
    if (!c.onlyInFirstColumns.empty()) lines << tr("Columns only in %1, not compared: %2").arg(whichName, names(c.onlyInFirstColumns));
    if (!c.onlyInSecondColumns.empty()) lines << tr("Columns only in %1, not compared: %2").arg(live, names(c.onlyInSecondColumns));
    // How much of each was read, and a count that disagrees with its table.
    const auto said = [](const QString& name, size_t count, const std::optional<uint64_t>& stored) {
        const std::string warning = records::CountWarning(count, stored);
        return name + QStringLiteral(": ") +
               QString::fromStdString(warning.empty() ? records::CountOf(count, "record") + " read"
                                                      : "warning: " + warning) +
               QLatin1Char('.');
    };
    lines << said(whichName, which.Count(), which.StoredCount()) << said(live, read, current_.storedCount);
    if (c.NoDifference()) lines << tr("The records of the columns compared are the same.");
    summary_->setText(lines.join(QLatin1Char('\n')));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setWordWrap(true);
    summary_->setObjectName(QStringLiteral("lblSummary"));

    tree_->setObjectName(QStringLiteral("treeDifferences"));
    tree_->setAccessibleName(tr("Differences"));
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->header()->setStretchLastSection(true);
    model_ = new ComparisonModel(which_, current_, comparison_, whichName, live, this);
    tree_->setModel(model_);
    // Every group open, and each changed record open on its fields; the
    // columns as wide as what they hold. A group of more records than a
    // reader goes through stays closed until opened (→ or a click): an open
    // line costs the tree memory of its own, a million of them tens of MB.
    constexpr int kOpenAtMost = 10000;
    for (int group = 0; group < model_->rowCount(); ++group) {
        const QModelIndex at = model_->index(group, 0);
        const int records = model_->rowCount(at);
        if (records == 0 || records > kOpenAtMost) continue;
        tree_->expand(at);
        for (int r = 0; r < records; ++r)
            if (const QModelIndex record = model_->index(r, 0, at); model_->hasChildren(record)) tree_->expand(record);
    }
    for (int c = 0; c < model_->columnCount(); ++c) tree_->resizeColumnToContents(c);
    tree_->setCurrentIndex(model_->index(0, 0));

    status_->setTextFormat(Qt::PlainText);
    status_->setObjectName(QStringLiteral("lblStatus"));
    copy_->setObjectName(QStringLiteral("cmdCopy"));
    export_->setObjectName(QStringLiteral("cmdExport"));
    for (QPushButton* button : {copy_, export_}) {
        button->setAccessibleName(button->text().remove(QLatin1Char('&')).remove(QChar(0x2026)));
        button->setAutoDefault(false);
    }
    connect(copy_, &QPushButton::clicked, this, &ComparisonDialog::CopySelected);
    connect(export_, &QPushButton::clicked, this, &ComparisonDialog::Export);
    auto* copyKey = new QAction(tree_);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetShortcut);
    connect(copyKey, &QAction::triggered, this, &ComparisonDialog::CopySelected);
    tree_->addAction(copyKey);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(tree_, 1);
    layout->addWidget(status_);
    auto* actions = new QHBoxLayout;
    actions->addWidget(copy_);
    actions->addWidget(export_);
    actions->addStretch();
    layout->addLayout(actions);
    CloseButton(this, layout);
    resize(760, 460);
    tree_->setFocus();
}

ComparisonDialog::~ComparisonDialog() = default;

void ComparisonDialog::CopySelected() {
    QModelIndexList lines = tree_->selectionModel()->selectedRows();
    if (lines.isEmpty() && tree_->currentIndex().isValid()) lines << tree_->currentIndex();
    std::vector<std::pair<size_t, size_t>> ranges;
    for (const QModelIndex& line : lines) ranges.push_back(model_->Rows(line));
    const records::DifferenceRows& rows = model_->Differences();
    std::sort(ranges.begin(), ranges.end());
    std::string text;
    rows.AppendHeader(text, records::kTabSeparated);
    size_t done = 0;  // rows before this are written: a line and its group are copied once
    for (const auto& [from, to] : ranges) {
        rows.AppendRows(text, std::max(from, done), to, records::kTabSeparated);
        done = std::max(done, to);
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

bool ComparisonDialog::Export() {
    QString suggested = tr("Compare %1 with Current.csv").arg(whichName_);
    suggested.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString file = saveFileName_ ? saveFileName_(this, suggested) : QString();
    if (file.isEmpty()) return false;
    const records::DifferenceRows& rows = model_->Differences();
    QSaveFile out(file);
    bool written = out.open(QIODevice::WriteOnly);
    std::string chunk;
    rows.AppendHeader(chunk, records::kCsv);
    constexpr size_t kChunkRows = 4096;
    for (size_t from = 0; written && from <= rows.Size(); from += kChunkRows) {
        rows.AppendRows(chunk, from, from + kChunkRows, records::kCsv);
        written = out.write(chunk.data(), static_cast<qint64>(chunk.size())) == static_cast<qint64>(chunk.size());
        chunk.clear();
    }
    written = written && out.commit();
    status_->setText(written ? tr("%1 exported to %2.")
                                   .arg(QString::fromStdString(records::CountOf(rows.Size(), "difference")), file)
                             : tr("Could not write %1: %2").arg(file, out.errorString()));
    return written;
}

FindAllDialog::FindAllDialog(const RecordsContext& context, std::string text, const QString& edition,
                             QWidget* parent)
    : QDialog(parent), status_(new QLabel(this)), list_(new QTableWidget(0, 5, this)) {
    setObjectName(QStringLiteral("findAll"));
    setWindowTitle(tr("Find in All Copies - %1").arg(edition));
    setSizeGripEnabled(true);
    const QString shown = Harmless(text);
    auto* caption = new QLabel(tr("&Databases of %1 holding \u201c%2\u201d:").arg(edition, shown), this);
    caption->setTextFormat(Qt::PlainText);
    caption->setBuddy(list_);
    status_->setTextFormat(Qt::PlainText);
    status_->setObjectName(QStringLiteral("lblStatus"));
    list_->setObjectName(QStringLiteral("tblCopies"));
    list_->setAccessibleName(tr("Databases with matching records"));
    list_->setHorizontalHeaderLabels({tr("Database"), tr("Came to be"), tr("Date"), tr("Matching records"), tr("File")});
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setTabKeyNavigation(false);
    list_->verticalHeader()->setVisible(false);
    list_->horizontalHeader()->setStretchLastSection(true);
    // All but the file are short: they are shown whole, headers too.
    for (int c = 0; c < 4; ++c) list_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(list_, 1);
    layout->addWidget(status_);
    CloseButton(this, layout);
    // Enter on a row opens that copy, so no button takes Enter for itself.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    resize(720, 360);
    list_->setFocus();

    const std::vector<records::Place> places = context.places ? context.places() : std::vector<records::Place>{};
    // Enter or a double click on a row: Show Records of that copy, with the
    // same Find text applied.
    // A version's row opens the last version holding the record, rebuilt.
    connect(list_, &QTableWidget::activated, this, [this, context, places, text, edition](const QModelIndex& index) {
        if (index.row() < 0) return;
        const size_t row = static_cast<size_t>(index.row());
        records::Place place;
        if (row < places.size()) {
            place = places[row];
        } else if (row - places.size() < versionRows_.size() && context.store) {
            const std::string which = "@" + std::to_string(versionRows_[row - places.size()]);
            std::string why;
            const auto rebuilt = context.store->Rebuild({context.storeEdition, context.livePath}, which, why);
            if (!rebuilt) {
                status_->setText(tr("%1 cannot be opened: %2").arg(QString::fromStdString(which), Harmless(why, 300)));
                return;
            }
            place = {which, rebuilt->path, "kept automatically"};
        } else {
            return;
        }
        auto* shown = new RecordsDialog(context, place, edition, std::string(), this);
        shown->setAttribute(Qt::WA_DeleteOnClose);
        shown->FindField().setText(QString::fromStdString(text));
        shown->show();
        shown->Load();
        emit opened(shown);
    });
    status_->setText(tr("Searching %1 databases…").arg(places.size()));
    // Each file's name as this machine knows it, worked out here: the job
    // only reads.
    std::vector<QString> files;
    for (const records::Place& place : places)
        files.push_back(QString::fromStdString(context.hostPath ? context.hostPath(place.path) : place.path));
    searching_.Start([this, context, places, files, text](Background& job) {
        const records::SourceFactory& sources = context.sources;
        std::unique_ptr<records::Source> source;
        int holding = 0, partly = 0;
        std::optional<records::Table> live;  // the live database's matches, for the versions' timeline
        for (size_t i = 0; i < places.size() && !job.Stopped(); ++i) {
            QString found, why;
            size_t count = 0;
            const bool isLive = places[i].caption == catalogue::kCurrentCaption;
            records::Table table;
            try {
                if (!source) source = sources();
                source->Find(places[i].path, text,
                             [&](records::Source::Layout layout) { table.columns = std::move(layout.columns); },
                             [&](std::vector<records::Record>& batch) {
                                 count += batch.size();
                                 if (isLive) std::move(batch.begin(), batch.end(), std::back_inserter(table.records));
                                 return !job.Stopped();
                             });
                found = QString::number(count);
                if (isLive) live = std::move(table);
            } catch (const vb::Error& error) {
                // The part read before the damage is searched all the same.
                found = count > 0 ? tr("%1 (partly read)").arg(count) : tr("cannot be read");
                why = Harmless(error.Detail().empty() ? error.Description() : error.Detail(), 300);
                ++partly;
                source.reset();
            }
            if (count > 0) ++holding;
            job.Post([this, place = places[i], found, why, file = files[i]] {
                const int row = list_->rowCount();
                list_->insertRow(row);
                list_->setItem(row, 0, new QTableWidgetItem(Harmless(place.caption)));
                list_->setItem(row, 1, new QTableWidgetItem(Harmless(place.how, 200)));
                list_->setItem(row, 2, new QTableWidgetItem(Harmless(place.when)));
                auto* count = new QTableWidgetItem(found);
                if (!why.isEmpty()) count->setToolTip(tr("Damaged: %1").arg(why));
                list_->setItem(row, 3, count);
                list_->setItem(row, 4, new QTableWidgetItem(Harmless(file.toStdString(), 400)));
                if (row == 0) list_->setCurrentCell(0, 0);
            });
        }
        const QString versions = context.store && !job.Stopped() ? SearchVersions(job, context, text, live) : QString();
        job.Post([this, holding, partly, searched = places.size(), versions] {
            QString status = tr("%1 of %2 databases hold matching records.").arg(holding).arg(searched);
            if (!versions.isEmpty()) status += QLatin1Char(' ') + versions;
            if (partly > 0)
                status += QLatin1Char(' ') + (partly == 1 ? tr("1 could not be read whole: only what was read before "
                                                                "the damage was searched.")
                                                           : tr("%1 could not be read whole: only what was read "
                                                                "before the damage was searched.")
                                                                 .arg(partly));
            status_->setText(status);
            emit finished();
        });
    });
}

FindAllDialog::~FindAllDialog() { searching_.Stop(); }

// On the job's thread: every version of the store searched (page by page,
// app/version_search.h, with the reader); then a row for each record found,
// once, with the first and last version holding it and whether the live
// database does. Returns what the status says of the versions.
QString FindAllDialog::SearchVersions(Background& job, const RecordsContext& context, const std::string& text,
                                      const std::optional<records::Table>& live) {
    const history::DatabaseRef database{context.storeEdition, context.livePath};
    std::string why;
    const std::vector<history::Version> versions = context.store->List(database, why);
    // `why` is a whole sentence that names the store ("The history store
    // cannot be read; it is left as it is: …").
    if (!why.empty()) return Harmless(why, 300);
    if (versions.empty()) return {};
    std::map<int64_t, int64_t> taken;  // of each version, its time
    for (const history::Version& v : versions) taken[v.number] = v.taken;
    const auto searched =
        context.store->Search(database, text, context.sources, [&job] { return job.Stopped(); }, why);
    if (!searched) return Harmless(why, 300);
    if (job.Stopped()) return {};
    records::Timeline timeline;
    int unread = 0;
    for (const app::VersionFound& one : *searched) {
        if (one.error) ++unread;  // the matches read before the damage still count
        timeline.Add(one.version.number, one.table);
    }
    timeline.Live(live ? &*live : nullptr);
    const std::vector<records::TimelineEntry> entries = timeline.Entries();
    const QLocale locale;
    for (const records::TimelineEntry& e : entries) {
        const QString span = e.first == e.last ? tr("in @%1").arg(e.first) : tr("in @%1 to @%2").arg(e.first).arg(e.last);
        const QString held = !e.inLive ? tr("the current database could not be searched")
                             : *e.inLive ? tr("also in the current database")
                                         : tr("not in the current database");
        QStringList values;
        for (const records::Cell& cell : e.record)
            if (const std::string value = records::DisplayText(cell); !value.empty()) values << Harmless(value, 40);
        const QString when = locale.toString(QDateTime::fromSecsSinceEpoch(taken[e.last]), QLocale::ShortFormat);
        job.Post([this, number = e.last, span, held, when, values = values.join(QStringLiteral(", "))] {
            const int row = list_->rowCount();
            list_->insertRow(row);
            versionRows_.push_back(number);
            list_->setItem(row, 0, new QTableWidgetItem(QStringLiteral("@%1").arg(number)));
            list_->setItem(row, 1, new QTableWidgetItem(tr("kept automatically")));
            list_->setItem(row, 2, new QTableWidgetItem(when));
            list_->setItem(row, 3, new QTableWidgetItem(tr("%1, %2").arg(span, held)));
            list_->setItem(row, 4, new QTableWidgetItem(values));
            if (row == 0) list_->setCurrentCell(0, 0);
        });
    }
    QString status = tr("%n version(s) of the history store searched: ", nullptr, int(versions.size())) +
                     tr("%n record(s) found in them.", nullptr, int(entries.size()));
    if (unread > 0) status += QLatin1Char(' ') + tr("%n could not be read.", nullptr, unread);
    return status;
}

}  // namespace gui
