// The one window of Restore Rolvane Data and the way through the program.
//
//   main.cpp      chooses the Wine prefix that holds the data
//                 (data_location.h), builds the real services (prefix →
//                 files, shell folders, libmdb engine, locale, process, Qt
//                 message box) into common::Services and creates this
//                 window, hidden, its list told what to say while empty.
//   Load()        runs catalogue::Form_Load before the window is shown: it
//                 finds both editions' live databases and backups, fills
//                 lvFiles and ends with lvFiles_Click for the first row, so
//                 its message boxes come before the window.
//   ShowCentred() shows the window centred, the list focused.
//   Events        a click in lvFiles or a change of its selected row by the
//                 user → lvFiles_Click (keeps Restore/Create Blank matching
//                 the row); Restore → operations::cmdRestore_Click; Create
//                 Blank → operations::cmdMakeBlank_Click (both rebuild the
//                 list through Form_Load); Cancel and Esc → cmdCancel_Click,
//                 which ends the process at once. Closing the window ends
//                 the program without running any procedure. One procedure
//                 runs at a time: none starts while another is running.
//   Menu          right click, the Menu key or Shift+F10 on a row: "Show
//                 Records…" opens that database's Records dialog
//                 (records_dialog.h), once the window is told where records
//                 come from (ShowRecordsFrom); "Check…" its whole-file check
//                 (check_dialog.h), once told how to check (CheckWith); on a
//                 "(Current)" row also "Previous Versions…", that live
//                 database's Previous Versions dialog (versions_dialog.h),
//                 which shows and checks a numbered copy the same way.
//   Copies        while a command runs, its copies run on a worker thread
//                 (ProgressFiles): the window keeps painting but takes no
//                 input, and a long copy shows a dialog named after the
//                 command and the selected row.
//
// The procedures see the window only as catalogue::Form1: the list as
// ports::ListView and the buttons as ports::Button.
//
// Layout is kept in twips, as the served application's platform measures
// it, and turned into pixels with the screen's logical DPI (15 twips to a
// pixel at 96 DPI). It is the least the window gets: buttons whose captions
// need more at the desktop's font grow, and the window with them; where the
// locale's dates or the list's font make the columns wider than the list,
// the list grows to show every column whole, and the window with it
// (Arrange). The window has a fixed size otherwise; it never shrinks.
// Right-to-left languages get the whole window mirrored (main.cpp sets the
// direction, LayoutDirectionFor).
#pragma once

#include <QLocale>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "gui/button_qt.h"
#include "gui/listview_qt.h"
#include "gui/progress_files.h"
#include "catalogue/form1.h"
#include "ports/check.h"
#include "records/places.h"
#include "records/source.h"

namespace gui {

inline constexpr int kTwipsPerInch = 1440;

// Pixels for a length in twips at `dpi` logical dots per inch.
int TwipsToPixels(int twips, double dpi);

// The application's layout direction for the user's locale: right to left
// for a language written so; else `current` (left to right, or what Qt's
// -reverse chose).
Qt::LayoutDirection LayoutDirectionFor(const QLocale& locale, Qt::LayoutDirection current);

class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(common::Services& sys, QWidget* parent = nullptr);

    // Discovery, run once while the window is still hidden.
    void Load();
    // Shows the window centred on its screen with the focus on the list.
    void ShowCentred();
    // The file service the procedures copy through, when it is a
    // ProgressFiles: the commands tell it what they are copying.
    void ShowCopiesIn(ProgressFiles& files) { copies_ = &files; }

    // Where the Records dialogs read records: each reading gets a Source of
    // its own. Unset, no row offers Show Records….
    void ShowRecordsFrom(records::SourceFactory sources) { recordSources_ = std::move(sources); }

    // Where the Check… dialogs get a whole-file check, one each. Unset, no
    // row offers Check….
    void CheckWith(std::function<std::unique_ptr<ports::FileCheck>()> makeCheck) { makeCheck_ = std::move(makeCheck); }
    // The caption of the catalogue row of `path` ("Backup 2"), else its file name.
    QString CaptionOf(const std::string& path);

    // The folder of the history store whose versions Previous Versions
    // lists; unset, it lists the numbered copies alone. With readerPath,
    // Find in All Copies searches the versions page by page through it.
    void HistoryStoreIn(std::string folder, std::string readerPath = {}) {
        storeFolder_ = std::move(folder);
        readerPath_ = std::move(readerPath);
    }

    // How the procedures' paths map to host paths, for Open Folder.
    void MapPathsWith(std::function<std::string(const std::string&)> toHost) { toHost_ = std::move(toHost); }

    // Runs body as one procedure of the window (see Run), its copies shown
    // as `copying` over `over` (else this window). False once the program
    // has ended; a procedure refused because another is running is not an
    // end.
    bool RunInWindow(const std::function<void()>& body, const QString& copying = {}, QWidget* over = nullptr);

    // Opens the Previous Versions of the edition's live database ("Business"),
    // as its row's menu does; nothing when the catalogue has none.
    void OpenPreviousVersionsOf(const QString& edition);

    catalogue::Form1& Form() { return form_; }
    QtListView& lvFiles() { return *lvFiles_; }
    QtButton& cmdRestore() { return *cmdRestore_; }
    QtButton& cmdMakeBlank() { return *cmdMakeBlank_; }
    QtButton& cmdCancel() { return *cmdCancel_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    // Runs one procedure of the window, unless one is running already. Once
    // the process has ended (see the definition) nothing runs any more.
    // copying: how the procedure's copies are shown to the user.
    void Run(void (*procedure)(catalogue::Form1&), const QString& copying = {});
    // "Restoring Backup 2 (Business)…", "Creating a blank database (Personal)…".
    QString RestoreText();
    QString MakeBlankText();
    // Sizes and places the window and its controls: at creation, and again
    // when the list's columns need more width or the direction changes.
    void Arrange();
    // The context menu of the selected row, when it is a "(Current)" row:
    // at `at` in the list's viewport when that lies on the row, else at the
    // row. Its one item opens the Previous Versions dialog.
    void ShowRowMenu(const QPoint& at);
    void OpenPreviousVersions(const std::string& livePath, const QString& edition);
    // The Records dialog of one database of `edition`, over `over`.
    void OpenRecords(const records::Place& place, const QString& edition, QWidget* over);
    // The Check… dialog of one database of `edition`, over `over`.
    void OpenCheck(const records::Place& place, const QString& edition, QWidget* over);

    QtListView* lvFiles_;
    QtButton* cmdRestore_;
    QtButton* cmdMakeBlank_;
    QtButton* cmdCancel_;
    catalogue::Form1 form_;
    ProgressFiles* copies_ = nullptr;
    std::function<std::string(const std::string&)> toHost_;
    std::string storeFolder_;
    std::string readerPath_;  // the reader that searches the store's versions
    records::SourceFactory recordSources_;
    std::function<std::unique_ptr<ports::FileCheck>()> makeCheck_;
    int listWidth_ = 0;  // the least width of the list its columns asked for
    bool ended_ = false;
    bool running_ = false;
};

}  // namespace gui
