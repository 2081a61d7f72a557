#include "gui/versions_dialog.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/auto_snapshot_box.h"
#include "operations/previous_versions.h"
#include "operations/setaside_index.h"
#include "ports/msgbox.h"

namespace gui {

VersionsDialog::VersionsDialog(catalogue::Form1& form, std::string livePath, const QString& edition, Runner run,
                               HostPath hostPath, QWidget* parent)
    : QDialog(parent),
      form_(form),
      live_(std::move(livePath)),
      edition_(edition),
      run_(std::move(run)),
      hostPath_(hostPath ? std::move(hostPath) : [](const std::string& path) { return path; }),
      caption_(new QLabel(this)),
      list_(new QtTableList(this)),
      putBack_(new QPushButton(tr("&Put Back"), this)),
      trash_(new QPushButton(tr("Move to &Trash"), this)),
      openFolder_(new QPushButton(tr("&Open Folder"), this)),
      close_(new QPushButton(tr("&Close"), this)) {
    setObjectName(QStringLiteral("previousVersions"));
    setWindowTitle(tr("Previous Versions - %1").arg(edition_));
    setWindowModality(Qt::WindowModal);
    setSizeGripEnabled(true);

    const QString live = HostLive();
    caption_->setText(tr("&Numbered copies kept beside %1, the last set aside first:").arg(live));
    caption_->setTextFormat(Qt::PlainText);
    caption_->setWordWrap(true);
    caption_->setBuddy(list_);

    list_->setObjectName(QStringLiteral("lvVersions"));
    list_->setAccessibleName(tr("Previous versions"));
    list_->setAccessibleDescription(
        tr("Numbered copies of %1, the last set aside first, with record count, file date, size and when "
           "each was set aside").arg(live));

    const std::pair<QPushButton*, const char*> buttons[] = {{putBack_, "cmdPutBack"},
                                                            {trash_, "cmdTrash"},
                                                            {openFolder_, "cmdOpenFolder"},
                                                            {close_, "cmdClose"}};
    auto* row = buttonRow_ = new QHBoxLayout;
    for (const auto& [button, name] : buttons) {
        button->setObjectName(QString::fromLatin1(name));
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
        // No default button: Enter must not start a command by itself.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
        if (button == close_) row->addStretch();
        row->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption_);
    layout->addWidget(list_);
    layout->addWidget(new AutoSnapshotBox(this));
    layout->addLayout(row);
    resize(640, 320);

    setTabOrder(list_, putBack_);
    setTabOrder(putBack_, trash_);
    setTabOrder(trash_, openFolder_);
    setTabOrder(openFolder_, close_);
    list_->setFocus();

    connect(list_, &QTableWidget::itemSelectionChanged, this, &VersionsDialog::FollowSelection);
    connect(putBack_, &QPushButton::clicked, this, &VersionsDialog::PutBack);
    connect(trash_, &QPushButton::clicked, this, &VersionsDialog::MoveToTrash);
    connect(openFolder_, &QPushButton::clicked, this, &VersionsDialog::OpenFolder);

    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    FollowSelection();
}

// The copy that was selected stays selected while it is listed.
bool VersionsDialog::Load() {
    const int selected = list_->SelectedIndex();
    const std::string kept = selected != 0 ? list_->Tag(selected) : std::string();
    const bool goesOn = run_([this] { operations::LoadPreviousVersions(form_.sys, *list_, live_); }, {}, this);
    if (goesOn && store_) AddStoreVersions();
    for (int row = 1; goesOn && !kept.empty() && row <= list_->ItemCount(); ++row) {
        if (list_->Tag(row) != kept) continue;
        list_->setCurrentCell(row - 1, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        break;
    }
    FollowSelection();
    return goesOn;
}

// The button comes before Close, in the row and in the tab order.
void VersionsDialog::ShowRecordsWith(std::function<void(const records::Place&)> show) {
    showRecordsOf_ = std::move(show);
    if (showRecords_) return;
    showRecords_ = new QPushButton(tr("Show &Records…"), this);
    showRecords_->setObjectName(QStringLiteral("cmdShowRecords"));
    showRecords_->setAccessibleName(tr("Show Records"));
    showRecords_->setAutoDefault(false);
    showRecords_->setFocusPolicy(Qt::StrongFocus);
    buttonRow_->insertWidget(buttonRow_->indexOf(openFolder_) + 1, showRecords_);
    setTabOrder(openFolder_, showRecords_);
    setTabOrder(showRecords_, close_);
    connect(showRecords_, &QPushButton::clicked, this, [this] {
        const int row = list_->SelectedIndex();
        if (row == 0 || !showRecordsOf_) return;
        if (const std::string file = FileOf(row); !file.empty()) showRecordsOf_({list_->ItemText(row), file});
    });
    FollowSelection();
}

// The button comes after Show Records… (else Open Folder), before Close.
void VersionsDialog::CheckWith(std::function<void(const records::Place&)> check) {
    checkOf_ = std::move(check);
    if (check_) return;
    check_ = new QPushButton(tr("Chec&k…"), this);
    check_->setObjectName(QStringLiteral("cmdCheck"));
    check_->setAccessibleName(tr("Check"));
    check_->setAutoDefault(false);
    check_->setFocusPolicy(Qt::StrongFocus);
    QPushButton* after = showRecords_ ? showRecords_ : openFolder_;
    buttonRow_->insertWidget(buttonRow_->indexOf(after) + 1, check_);
    setTabOrder(after, check_);
    setTabOrder(check_, close_);
    connect(check_, &QPushButton::clicked, this, [this] {
        const int row = list_->SelectedIndex();
        if (row == 0 || !checkOf_) return;
        if (const std::string file = FileOf(row); !file.empty()) checkOf_({list_->ItemText(row), file});
    });
    FollowSelection();
}

void VersionsDialog::FollowSelection() {
    const bool selected = list_->SelectedIndex() != 0;
    putBack_->setEnabled(selected);
    // A version lives in the store, not in the folder: nothing to trash.
    trash_->setEnabled(selected && list_->Tag(list_->SelectedIndex()).rfind('@', 0) != 0);
    if (showRecords_) showRecords_->setEnabled(selected);
    if (check_) check_->setEnabled(selected);
}

void VersionsDialog::Ended() {
    hide();
    deleteLater();
}

void VersionsDialog::PutBack() {
    const int row = list_->SelectedIndex();
    if (row == 0) return;
    std::string copy = FileOf(row);
    if (copy.empty()) return;
    // A version rebuilt, named as the procedures name a copy: its folder,
    // then the name ("bsrv@12") after a backslash.
    if (const size_t slash = copy.rfind('/'); list_->Tag(row).rfind('@', 0) == 0 && slash != std::string::npos)
        copy = copy.substr(0, slash) + "\\" + copy.substr(slash + 1);
    const QString copying = tr("Putting back %1 (%2)…").arg(QString::fromStdString(list_->ItemText(row)), edition_);
    if (!run_([&] { operations::PutBack(form_, live_, copy); }, copying, this)) return Ended();
    if (!Load()) Ended();
}

void VersionsDialog::MoveToTrash() {
    const int row = list_->SelectedIndex();
    if (row == 0) return;
    const std::string copy = list_->Tag(row);
    if (!run_([&] { operations::MoveVersionToTrash(form_.sys, live_, copy); }, {}, this)) return Ended();
    if (!Load()) Ended();
}

void VersionsDialog::StoreVersionsWith(std::shared_ptr<app::RebuiltVersions> versions, std::string editionLabel) {
    store_ = std::move(versions);
    editionLabel_ = std::move(editionLabel);
    caption_->setText(tr("&Numbered copies kept beside %1 and versions kept in the history store, the newest "
                         "first:").arg(HostLive()));
}

void VersionsDialog::AddStoreVersions() {
    std::string why;
    const std::vector<history::Version> versions = store_->List({editionLabel_, live_}, why);
    if (!why.empty()) form_.sys.msgbox.Show(why, ports::vbOKOnly, "Previous Versions");
    constexpr int kColumns = 6;  // Name, Records, FileDate, Size, Set Aside, and how it came to be
    struct Row {
        std::vector<std::string> cells;
        std::string tag;
        std::optional<int64_t> at;  // when it was set aside or taken; none: not recorded
    };
    std::vector<Row> rows;
    const auto index = operations::ReadSetAsideIndex(form_.sys, live_);
    for (int n = 1; n <= list_->ItemCount(); ++n) {
        Row row{{list_->ItemText(n)}, list_->Tag(n), std::nullopt};
        for (int sub = 1; sub < kColumns - 1; ++sub) row.cells.push_back(list_->SubItem(n, sub));
        row.cells.push_back("set aside by Restore");
        if (index && row.cells[4] != operations::kNotRecorded)
            for (const operations::SetAsideEntry& entry : *index)
                if (entry.name == row.cells[0]) row.at = entry.at;
        rows.push_back(std::move(row));
    }
    ports::Locale& locale = form_.sys.locale;
    for (const history::Version& v : versions) {
        const std::string records = v.verdict == history::Verdict::Damaged ? "damaged"
                                    : v.records                             ? std::to_string(*v.records)
                                                                            : "not checked";
        rows.push_back({{"@" + std::to_string(v.number), records,
                         locale.GeneralDate(locale.LocalTime(v.modifiedNs / 1000000000)),
                         operations::SizeText(v.size), locale.GeneralDate(locale.LocalTime(v.taken)),
                         "kept automatically"},
                        "@" + std::to_string(v.number), v.taken});
    }
    // Newest first, as each list already is; those not recorded last.
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.at.has_value() && (!b.at.has_value() || *a.at > *b.at);
    });
    list_->ClearItems();
    if (list_->ColumnHeaderCount() < kColumns) list_->AddColumnHeader("How");
    for (const Row& row : rows) {
        const int n = list_->AddItem(row.cells[0]);
        for (int sub = 1; sub < kColumns; ++sub) list_->SetSubItem(n, sub, row.cells[size_t(sub)]);
        list_->SetTag(n, row.tag);
    }
    for (int column = 0; column < kColumns; ++column) list_->AutosizeColumn(column);
}

std::string VersionsDialog::FileOf(int row) {
    const std::string tag = list_->Tag(row);
    if (tag.rfind('@', 0) != 0 || !store_) return tag;
    std::string why;
    const auto rebuilt = store_->Rebuild({editionLabel_, live_}, tag, why);
    if (!rebuilt) {
        form_.sys.msgbox.Show(why, ports::vbOKOnly, "Previous Versions");
        return {};
    }
    return rebuilt->path;
}

// Where the live database is on this machine, told as the file manager
// shows it: through no drive link of the prefix (dosdevices/c:).
QString VersionsDialog::HostLive() const {
    const QFileInfo live(QString::fromStdString(hostPath_(live_)));
    const QString canonical = live.canonicalFilePath();
    return canonical.isEmpty() ? live.absoluteFilePath() : canonical;
}

void VersionsDialog::OpenFolder() {
    const QString folder = QFileInfo(HostLive()).absolutePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        form_.sys.msgbox.Show("Unable to open the folder " + folder.toStdString(), ports::vbOKOnly,
                              "Open Folder");
}

}  // namespace gui
