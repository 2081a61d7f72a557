// The Records dialog over sources of records in memory: what a screen
// reader and the keyboard meet, records shown while the rest still load,
// Find, a copy that cannot be read, Compare, Find in All Copies, Export and
// Copy.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QPlainTextEdit>
#include <QTreeView>

#include "gui/records_dialog.h"
#include "gui/records_export.h"
#include "gui/results_dialogs.h"
#include "gui/value_dialog.h"
#include "records/csv.h"
#include "records/fake_source.h"

namespace {

using records::Record;

const std::vector<records::Column> kColumns = {
    {"ID", records::Kind::Integer}, {"Name", records::Kind::Text}, {"Notes", records::Kind::Text}};

records::Table Contacts(int count, const std::string& changedName = {}) {
    records::Table table{kColumns, {"ID"}, {}};
    for (int id = 1; id <= count; ++id)
        table.records.push_back({int64_t{id}, id == 2 && !changedName.empty() ? changedName : "Contact " + std::to_string(id),
                                 id % 10 == 0 ? std::string("ANNA") : std::string("x")});
    return table;
}

class RecordsDialogTest : public ::testing::Test {
protected:
    RecordsDialogTest() {
        data.tables["live"] = Contacts(120, "Renamed");
        data.tables["b1"] = Contacts(130);
        data.tables["b1"].records.erase(data.tables["b1"].records.begin() + 5);  // ID 6 added since
        data.tables["b2"] = Contacts(10);
        data.tables["bad"] = Contacts(80);
        data.failAfter["bad"] = 60;
        context.sources = data.Factory();
        context.places = [] {
            return std::vector<records::Place>{{"(Current)", "live", "live database", "2026-03-01"},
                                               {"Backup 1", "b1", "backup slot 1", "2026-02-10"},
                                               {"Backup 2", "b2", "backup slot 2", "2026-01-05"},
                                               {"bsrv.1", "bad", "numbered copy, set aside", "2025-12-24"}};
        };
        context.saveFileName = [this](QWidget*, const QString& suggested) {
            suggestedName = suggested;
            return exportTo;
        };
        context.confirmPartial = [this](QWidget*, const QString& text) {
            asked = text;
            return exportPartial;
        };
    }
    std::unique_ptr<gui::RecordsDialog> Open(const std::string& path, const std::string& caption) {
        auto dialog = std::make_unique<gui::RecordsDialog>(context, records::Place{caption, path},
                                                           QStringLiteral("Business"), "live");
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        dialog->Load();
        return dialog;
    }
    static void WaitLoaded(gui::RecordsDialog& dialog) {
        QSignalSpy loaded(&dialog, &gui::RecordsDialog::loaded);
        ASSERT_TRUE(loaded.wait(10000));
    }
    // Starts an export and waits for its end: whether the file was written.
    static bool Exported(gui::RecordsDialog& dialog, gui::RecordsDialog::Scope scope) {
        QSignalSpy ended(&dialog, &gui::RecordsDialog::exported);
        if (!dialog.Export(scope)) return false;
        if (ended.isEmpty() && !ended.wait(10000)) return false;
        return ended.first().first().toBool();
    }
    static std::string FileText(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("(none)");
    }
    template <class Results>
    static Results* WaitResults(gui::RecordsDialog& dialog, const std::function<void()>& start) {
        QSignalSpy shown(&dialog, &gui::RecordsDialog::resultsShown);
        start();
        if (shown.isEmpty() && !shown.wait(10000)) return nullptr;
        return qobject_cast<Results*>(shown.first().first().value<QDialog*>());
    }

    fakes::FakeRecords data;
    gui::RecordsContext context;
    QString exportTo;
    QString suggestedName;
    QString asked;               // the question about a partial export
    bool exportPartial = false;  // its answer
};

TEST_F(RecordsDialogTest, ATableWithHeadersALabelledFindFieldMnemonicsAndEscCloses) {
    auto dialog = Open("b1", "Backup 1");
    WaitLoaded(*dialog);
    EXPECT_EQ(dialog->windowTitle(), "Records - Business Backup 1");
    EXPECT_EQ(dialog->CountLabel().text(), "129 of 129 records");
    EXPECT_EQ(QApplication::focusWidget(), &dialog->FindField());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&dialog->FindField())->text(QAccessible::Name), "Find");

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&dialog->Table());
    EXPECT_EQ(table->role(), QAccessible::Table);
    EXPECT_EQ(table->text(QAccessible::Name), "Records");
    ASSERT_NE(table->tableInterface(), nullptr);
    ASSERT_EQ(table->tableInterface()->columnCount(), 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(table->tableInterface()->columnDescription(c).toStdString(), kColumns[c].name);
    EXPECT_EQ(table->tableInterface()->cellAt(1, 1)->text(QAccessible::Name), "Contact 2");

    // Tab runs Find, the table, then the buttons; each has its key.
    QWidget* focus = &dialog->FindField();
    const std::pair<QWidget*, const char*> chain[] = {{&dialog->Table(), "Records"},
                                                      {&dialog->CompareButton(), "Compare with &Current"},
                                                      {&dialog->ExportButton(), "&Export…"},
                                                      {&dialog->CopyButton(), "Co&py"},
                                                      {&dialog->FindAllButton(), "Find in &All Copies"},
                                                      {&dialog->CloseButton(), "C&lose"}};
    for (const auto& [widget, text] : chain) {
        do focus = focus->nextInFocusChain();
        while (focus->focusPolicy() == Qt::NoFocus);
        EXPECT_EQ(focus, widget) << text;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), text);
        }
    }
    QTest::keyClick(&dialog->FindField(), Qt::Key_A, Qt::AltModifier);  // Alt+A: Find in All Copies, needs text
    EXPECT_TRUE(dialog->findChildren<gui::FindAllDialog*>().isEmpty());
    QTest::keyClick(&dialog->Table(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(RecordsDialogTest, FirstRecordsShowWhileTheRestLoadAndFindFiltersWithoutCase) {
    data.holding = true;
    auto dialog = Open("b1", "Backup 1");
    QSignalSpy rows(&dialog->Model(), &QAbstractItemModel::rowsInserted);
    if (dialog->Model().rowCount() == 0) {
        ASSERT_TRUE(rows.wait(10000));
    }
    EXPECT_EQ(dialog->CountLabel().text(), "50 of 50 records") << "the reader is held after its first batch";
    EXPECT_FALSE(dialog->ExportButton().isEnabled());
    QTest::keyClicks(&dialog->FindField(), "anna");
    EXPECT_EQ(dialog->CountLabel().text(), "5 of 50 records");
    data.gate.release(2);
    WaitLoaded(*dialog);
    EXPECT_EQ(dialog->CountLabel().text(), "13 of 129 records") << "records arriving meet the filter";
    EXPECT_EQ(dialog->Model().index(0, 0).data().toString(), "10");
    QTest::keyClick(&dialog->FindField(), Qt::Key_Backspace);
    EXPECT_EQ(dialog->CountLabel().text(), "13 of 129 records");  // "ann" is in the same
    dialog->FindField().setText("contact 12");
    EXPECT_EQ(dialog->CountLabel().text(), "11 of 129 records");  // 12, 120..129
    EXPECT_TRUE(dialog->ExportButton().isEnabled());
}

TEST_F(RecordsDialogTest, ACopyThatCannotBeReadSaysSoAndTheRestStillWorks) {
    auto dialog = Open("bad", "bsrv.1");
    WaitLoaded(*dialog);
    EXPECT_EQ(dialog->StatusLabel().text(),
              "50 records read; the copy is damaged after that (Unrecognized database format 'bad'.).");
    EXPECT_EQ(dialog->CountLabel().text(), "50 of 50 records") << "the batches read before the failure";
    EXPECT_FALSE(dialog->CompareButton().isEnabled()) << "a partial table would show false differences";
    dialog->FindField().setText("anna");
    auto* results = WaitResults<gui::FindAllDialog>(*dialog, [&] { QTest::mouseClick(&dialog->FindAllButton(), Qt::LeftButton); });
    ASSERT_NE(results, nullptr);
    QSignalSpy finished(results, &gui::FindAllDialog::finished);
    ASSERT_TRUE(finished.wait(10000));
    QTableWidget& list = results->List();
    std::vector<std::string> rows;
    for (int r = 0; r < list.rowCount(); ++r)
        rows.push_back(list.item(r, 0)->text().toStdString() + "=" + list.item(r, 3)->text().toStdString());
    EXPECT_EQ(rows, (std::vector<std::string>{"(Current)=12", "Backup 1=13", "Backup 2=1", "bsrv.1=cannot be read"}));
    EXPECT_EQ(list.item(3, 1)->text() + " " + list.item(3, 2)->text(), "numbered copy, set aside 2025-12-24");
    EXPECT_EQ(results->Status().text(), "3 of 4 databases hold matching records. 1 could not be read whole: only what "
                                        "was read before the damage was searched.");
    EXPECT_EQ(list.item(3, 3)->toolTip(), "Damaged: Unrecognized database format 'bad'.");

    // Enter on a row opens that copy with the same Find text; the list stays.
    QSignalSpy opened(results, &gui::FindAllDialog::opened);
    list.setFocus();
    list.setCurrentCell(2, 0);
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1);
    auto* shown = qobject_cast<gui::RecordsDialog*>(opened.first().first().value<QDialog*>());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->FindField().text(), "anna");
    EXPECT_TRUE(shown->windowTitle().contains("Backup 2")) << shown->windowTitle().toStdString();
    EXPECT_TRUE(results->isVisible()) << "Enter opened the copy, it did not close the list";
}

// The dialog says how much it read where that is not simply all of it: a
// count that disagrees with the table's, damage after some records, and
// why a file that is not a database cannot be read at all.
TEST_F(RecordsDialogTest, SaysHowMuchWasReadAndWhyNotAll) {
    data.storedCount["b2"] = 12'040;
    data.tables["notjet"] = Contacts(5);
    data.failAfter["notjet"] = 0;
    data.failDetail["notjet"] = "no Jet signature";
    data.failDetail["bad"] = "row 3 on page 40: long-value chain ends 10 bytes early";
    const std::pair<const char*, const char*> cases[] = {
        {"b1", ""},
        {"b2", "Warning: 10 records read; the table says 12,040. The copy may be damaged."},
        {"bad", "50 records read; the copy is damaged after that (row 3 on page 40: long-value chain ends 10 bytes early)."},
        {"notjet", "This copy cannot be read: Unrecognized database format 'notjet'. (no Jet signature)"},
    };
    for (const auto& [path, said] : cases) {
        auto dialog = Open(path, path);
        WaitLoaded(*dialog);
        EXPECT_EQ(dialog->StatusLabel().text().toStdString(), said) << path;
    }
}

// From a name to Restore or Put Back by keyboard alone: Find in All Copies
// (Enter on a copy) opens its records, where Alt+R restores a backup and
// Alt+B puts back a numbered copy, through the window's command; the live
// database has no such button.
TEST_F(RecordsDialogTest, RestoreOrPutBackIsOneKeyFromACopysRecords) {
    std::vector<std::string> ran;
    context.replaceLive = [&](const records::Place& copy, QWidget*) { ran.push_back(copy.caption); };
    auto live = Open("live", "(Current)");
    WaitLoaded(*live);
    EXPECT_EQ(live->ReplaceButton(), nullptr);
    live->FindField().setText("anna");
    auto* results = WaitResults<gui::FindAllDialog>(*live, [&] { QTest::keyClick(live.get(), Qt::Key_A, Qt::AltModifier); });
    ASSERT_NE(results, nullptr);
    QSignalSpy finished(results, &gui::FindAllDialog::finished);
    ASSERT_TRUE(finished.wait(10000));
    const std::pair<int, Qt::Key> copies[] = {{1, Qt::Key_R}, {3, Qt::Key_B}};  // Backup 1, bsrv.1
    for (const auto& [row, key] : copies) {
        QSignalSpy opened(results, &gui::FindAllDialog::opened);
        results->List().setCurrentCell(row, 0);
        QTest::keyClick(&results->List(), Qt::Key_Return);
        ASSERT_EQ(opened.size(), 1);
        auto* shown = qobject_cast<gui::RecordsDialog*>(opened.first().first().value<QDialog*>());
        ASSERT_NE(shown, nullptr);
        ASSERT_NE(shown->ReplaceButton(), nullptr);
        EXPECT_EQ(shown->ReplaceButton()->text(), row == 1 ? "&Restore…" : "Put &Back…");
        shown->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
        QCoreApplication::processEvents();  // the application learns which window is active
        // A mnemonic clicks its button once the press has been shown.
        QSignalSpy clicked(shown->ReplaceButton(), &QPushButton::clicked);
        QTest::keyClick(shown, key, Qt::AltModifier);
        ASSERT_TRUE(clicked.wait(10000));
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"Backup 1", "bsrv.1"}));
}

TEST_F(RecordsDialogTest, CompareWithCurrentShowsTheAddedRemovedAndChangedRecords) {
    auto dialog = Open("b1", "Backup 1");
    WaitLoaded(*dialog);
    auto* results = WaitResults<gui::ComparisonDialog>(*dialog, [&] { dialog->CompareButton().click(); });
    ASSERT_NE(results, nullptr);
    const records::Comparison& c = results->Result();
    EXPECT_EQ(c.matchedBy, records::Comparison::MatchedBy::PrimaryKey);
    EXPECT_EQ(c.onlyInFirst.size(), 10u);  // IDs 121..130
    EXPECT_EQ(c.onlyInSecond.size(), 1u);  // ID 6
    EXPECT_TRUE(results->Summary().text().contains("Business Backup 1: 129 records read.\nBusiness (Current): 120 records read."))
        << results->Summary().text().toStdString();
    QTreeView& tree = results->Tree();
    const QAbstractItemModel& model = *tree.model();
    ASSERT_EQ(model.rowCount(), 3);
    const QModelIndex onlyHere = model.index(0, 0), onlyLive = model.index(1, 0), changed = model.index(2, 0);
    EXPECT_EQ(onlyHere.data().toString(), "Only in Business Backup 1 (10)");
    // Named by the key and the first texts, whole, and the changes open.
    EXPECT_EQ(model.index(0, 0, onlyLive).data().toString(), "ID 6, Contact 6, x");
    EXPECT_GE(tree.columnWidth(0), tree.fontMetrics().horizontalAdvance(onlyHere.data().toString()));
    ASSERT_EQ(model.rowCount(changed), 1);
    const QModelIndex record = model.index(0, 0, changed);
    EXPECT_TRUE(tree.isExpanded(record));
    EXPECT_EQ(model.index(0, 0, record).data().toString() + "|" + model.index(0, 1, record).data().toString() + "|" +
                  model.index(0, 2, record).data().toString(),
              "Name|Contact 2|Renamed");
    // Copy gives the selected lines' differences as text; Export… all of them as CSV.
    tree.setCurrentIndex(record);
    results->CopyButton().click();
    EXPECT_EQ(QApplication::clipboard()->text(),
              "Difference\tRecord\tField\tIn Business Backup 1\tIn Business (Current)\r\n"
              "Changed\tID 2, Contact 2, x\tName\tContact 2\tRenamed\r\n");
    QTemporaryDir folder;
    exportTo = folder.filePath("differences.csv");
    ASSERT_TRUE(results->Export());
    EXPECT_EQ(suggestedName, "Compare Business Backup 1 with Current.csv");
    const std::string csv = FileText(exportTo);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 10 + 1 + 1) << csv;
    EXPECT_NE(csv.find("Only in Business (Current),\"ID 6, Contact 6, x\",,,\r\n"), std::string::npos) << csv;
    EXPECT_EQ(results->Status().text(), "12 differences exported to " + exportTo + ".");

    auto live = Open("live", "(Current)");
    WaitLoaded(*live);
    EXPECT_FALSE(live->CompareButton().isEnabled()) << "the live database is not compared with itself";
}

TEST_F(RecordsDialogTest, ExportWritesTheChosenRecordsAndCopyTheSelectedAsTabSeparatedText) {
    QTemporaryDir folder;
    exportTo = folder.filePath("out.csv");
    auto dialog = Open("b2", "Backup 2");
    WaitLoaded(*dialog);
    dialog->FindField().setText("anna");
    ASSERT_TRUE(Exported(*dialog, gui::RecordsDialog::Scope::Found));
    EXPECT_EQ(suggestedName, "Business Backup 2.csv");
    EXPECT_EQ(FileText(exportTo), "ID,Name,Notes\r\n10,Contact 10,ANNA\r\n");
    EXPECT_EQ(dialog->StatusLabel().text(), "1 record exported to " + exportTo + ".");
    ASSERT_TRUE(Exported(*dialog, gui::RecordsDialog::Scope::All));
    EXPECT_EQ(FileText(exportTo), records::Write(data.tables["b2"], {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(asked.isEmpty()) << "a copy read whole asks nothing";

    dialog->FindField().clear();
    dialog->Table().setFocus();
    dialog->Table().selectRow(2);
    QTest::keyClick(&dialog->Table(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&dialog->Table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "ID\tName\tNotes\r\n3\tContact 3\tx\r\n4\tContact 4\tx\r\n");
    QApplication::clipboard()->clear();
    ASSERT_TRUE(dialog->CopyButton().isEnabled());
    dialog->CopyButton().click();  // the button copies the same
    EXPECT_EQ(QApplication::clipboard()->text(), "ID\tName\tNotes\r\n3\tContact 3\tx\r\n4\tContact 4\tx\r\n");
    exportTo.clear();  // the user cancelled the file dialog
    EXPECT_FALSE(dialog->Export(gui::RecordsDialog::Scope::Selected));
}

// A copy read in part is exported only after a question that says the
// export will be partial (No: nothing is written), and says so after.
TEST_F(RecordsDialogTest, ExportOfACopyReadInPartAsksFirst) {
    QTemporaryDir folder;
    exportTo = folder.filePath("bad.csv");
    auto dialog = Open("bad", "bsrv.1");
    WaitLoaded(*dialog);
    ASSERT_TRUE(dialog->ExportButton().isEnabled());
    EXPECT_FALSE(Exported(*dialog, gui::RecordsDialog::Scope::All));
    EXPECT_TRUE(asked.contains("Only the 50 records read before that are here, so the export will be partial"))
        << asked.toStdString();
    EXPECT_FALSE(QFile::exists(exportTo));
    exportPartial = true;
    ASSERT_TRUE(Exported(*dialog, gui::RecordsDialog::Scope::All));
    EXPECT_EQ(FileText(exportTo).substr(0, 15), "ID,Name,Notes\r\n");
    EXPECT_EQ(dialog->StatusLabel().text(),
              "50 records exported to " + exportTo + ". The copy is damaged after them, so the export is partial.");
}

// Enter on a cell shows its value whole, in a read-only field that scrolls.
TEST_F(RecordsDialogTest, EnterOnACellShowsItsValueWhole) {
    const std::string memo = "Met at the fair.\n" + std::string(5000, 'm');
    data.tables["b2"].records[0][2] = memo;
    auto dialog = Open("b2", "Backup 2");
    WaitLoaded(*dialog);
    QSignalSpy shown(dialog.get(), &gui::RecordsDialog::valueShown);
    dialog->Table().setFocus();
    dialog->Table().setCurrentIndex(dialog->Model().index(0, 2));
    QTest::keyClick(&dialog->Table(), Qt::Key_Return);
    ASSERT_EQ(shown.size(), 1);
    auto* value = qobject_cast<gui::ValueDialog*>(shown.first().first().value<QDialog*>());
    ASSERT_NE(value, nullptr);
    ASSERT_NE(value->Text(), nullptr);
    EXPECT_EQ(value->Text()->toPlainText().toStdString(), memo);
    EXPECT_TRUE(value->Text()->isReadOnly());
    EXPECT_TRUE(dialog->isVisible()) << "Enter showed the value, it did not close the records";
}

}  // namespace
