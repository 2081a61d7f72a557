#include "gui/versions_dialog.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/auto_snapshot_box.h"
#include "operations/previous_versions.h"
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
        if (row != 0 && showRecordsOf_) showRecordsOf_({list_->ItemText(row), list_->Tag(row)});
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
        if (row != 0 && checkOf_) checkOf_({list_->ItemText(row), list_->Tag(row)});
    });
    FollowSelection();
}

void VersionsDialog::FollowSelection() {
    const bool selected = list_->SelectedIndex() != 0;
    putBack_->setEnabled(selected);
    trash_->setEnabled(selected);
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
    const std::string copy = list_->Tag(row);
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
