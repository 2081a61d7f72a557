// The Previous Versions dialog of one live database, opened from the
// context menu of its "(Current)" row ("Previous Versions - Business").
//
//   the list     the numbered copies beside the live database, the last
//                set aside first: name, record count ("cannot be read" for
//                a damaged copy), file date, size, when it was set aside
//                (operations::LoadPreviousVersions fills it through
//                ports::ListView)
//   Put Back     operations::PutBack with the selected copy: refuses one
//                that cannot be read, saying why; asks Yes / No,
//                then replaces the live database the way Restore does, with
//                Restore's progress dialog for a long copy; the catalogue is
//                rebuilt and the list read again
//   Move to Trash operations::MoveVersionToTrash: asks Yes / No, then moves
//                the copy to the user's trash
//   Open Folder  the folder in the desktop's file manager (QDesktopServices)
//   Show Records… the selected copy's Records dialog, where the window
//                shows records (ShowRecordsWith)
//   Check…       the selected copy's whole-file check (CheckWith)
//   Close, Esc and the close box close the dialog
//
// With the history store (StoreVersionsWith), its versions of the live
// database ("@12") are listed beside the copies, newest first, and a column
// says how each came to be ("set aside by Restore", "kept automatically");
// Put Back, Show Records… and Check… read a version rebuilt from the store,
// every page checked, and a version is never moved to the trash.
//
// Every procedure runs through the window's own way of running one (see
// MainWindow::RunInWindow): one at a time, and none once the program has
// ended, in which case the dialog closes too.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "app/history_versions.h"

#include "gui/tablelist_qt.h"
#include "catalogue/form1.h"
#include "records/places.h"
#include "records/source.h"

class QHBoxLayout;
class QLabel;

namespace gui {

class VersionsDialog : public QDialog {
    Q_OBJECT

public:
    // Runs one procedure: its copies are shown as `copying` over `over`.
    // False once the program has ended.
    using Runner = std::function<bool(const std::function<void()>& procedure, const QString& copying, QWidget* over)>;
    // The host path of a path as the procedures hold it.
    using HostPath = std::function<std::string(const std::string&)>;

    VersionsDialog(catalogue::Form1& form, std::string livePath, const QString& edition, Runner run,
                   HostPath hostPath, QWidget* parent = nullptr);

    // Show Records… opens the selected copy with `show`; without, the
    // button is not there.
    void ShowRecordsWith(std::function<void(const records::Place&)> show);
    // Check… checks the selected copy with `check`; without, the button is
    // not there.
    void CheckWith(std::function<void(const records::Place&)> check);

    // Lists the versions of `versions` for this live database too (its
    // edition as the catalogue labels it: "Business", "Personal").
    void StoreVersionsWith(std::shared_ptr<app::RebuiltVersions> versions, std::string editionLabel);

    // Lists the copies again. False when the program ended meanwhile.
    bool Load();

    QtTableList& List() { return *list_; }
    QPushButton& PutBackButton() { return *putBack_; }
    QPushButton& TrashButton() { return *trash_; }
    QPushButton& OpenFolderButton() { return *openFolder_; }
    QPushButton* ShowRecordsButton() { return showRecords_; }
    QPushButton* CheckButton() { return check_; }
    QPushButton& CloseButton() { return *close_; }

private:
    void PutBack();
    void MoveToTrash();
    void OpenFolder();
    // Put Back and Move to Trash act on the selected copy: only with one.
    void FollowSelection();
    // The program ended inside a procedure: nothing more is done here.
    void Ended();
    QString HostLive() const;
    // The history store's versions merged into the list, newest first.
    void AddStoreVersions();
    // The file row stands for: a copy's path, or a version rebuilt (a host
    // path); empty, told why, when it cannot be.
    std::string FileOf(int row);

    catalogue::Form1& form_;
    std::string live_;
    QString edition_;
    Runner run_;
    HostPath hostPath_;
    QLabel* caption_;
    QtTableList* list_;
    QPushButton* putBack_;
    QPushButton* trash_;
    QPushButton* openFolder_;
    QPushButton* showRecords_ = nullptr;  // made by ShowRecordsWith
    QHBoxLayout* buttonRow_ = nullptr;
    std::function<void(const records::Place&)> showRecordsOf_;
    QPushButton* check_ = nullptr;  // made by CheckWith
    std::function<void(const records::Place&)> checkOf_;
    QPushButton* close_;
    std::shared_ptr<app::RebuiltVersions> store_;
    std::string editionLabel_;
};

}  // namespace gui
