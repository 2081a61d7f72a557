// The parts of the Records dialog on their own: the model of its records,
// its export, and the Compare dialog's tree over many differences.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "gui/records_export.h"
#include "gui/records_model.h"
#include "gui/results_dialogs.h"
#include "records/csv.h"

namespace {

using records::Null;
using records::Record;

const std::vector<records::Column> kColumns = {
    {"ID", records::Kind::Integer}, {"Name", records::Kind::Text}, {"Notes", records::Kind::Text}};

// The file takes the target's name only when every record is written: an
// export stopped part way leaves the file that was there as it was, and no
// temporary file beside it.
TEST(RecordsExportTest, StoppedPartWayLeavesNoFileAndTheOldOneAsItWas) {
    records::Table held{kColumns, {"ID"}, {}};
    for (int id = 1; id <= 100; ++id) held.records.push_back({int64_t{id}, std::string("Name"), std::string("x")});
    const records::TableView table(held);
    const std::vector<uint32_t> all = [] {
        std::vector<uint32_t> rows(100);
        for (uint32_t n = 0; n < 100; ++n) rows[n] = n;
        return rows;
    }();
    QTemporaryDir folder;
    const QString target = folder.filePath("out.csv");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    size_t asked = 0;
    const gui::ExportOutcome stopped = gui::WriteRecords(table, all, target, [&](size_t) { return ++asked < 3; }, 64);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.written);
    EXPECT_EQ(asked, 3u);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old");

    const gui::ExportOutcome whole = gui::WriteRecords(table, all, target, [](size_t) { return true; }, 64);
    EXPECT_TRUE(whole.written);
    EXPECT_EQ(whole.records, 100u);
    kept.close();
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll().toStdString(), records::Write(table, std::vector<size_t>(all.begin(), all.end())));
    EXPECT_FALSE(gui::WriteRecords(table, all, folder.filePath("missing/out.csv"), [](size_t) { return true; }).written);
}

// The question before a partial export: No is the default, and Esc is No.
TEST(RecordsExportTest, ThePartialExportQuestionConsentsOnlyToYes) {
    const std::pair<std::function<void(QMessageBox&)>, bool> answers[] = {
        {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, false},
        {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, false},
        {[](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); }, true},
    };
    for (const auto& [act, consent] : answers) {
        std::function<void()> poll = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return QTimer::singleShot(0, poll);  // not shown yet
            act(*box);
        };
        QTimer::singleShot(0, poll);
        EXPECT_EQ(gui::AskPartialExport(nullptr, "partial"), consent);
    }
}

TEST(RecordsModelTest, CellsOnOneLineHarmlessWithAFewLinesInTheTooltip) {
    gui::RecordsModel model;
    model.SetColumns({{"Notes", records::Kind::Text}}, {});
    const std::string longText = "line one\nline \u202Etwo <b>" + std::string(300, 'x');
    std::vector<Record> batch{{longText}, {std::string("\x1b]0;title\x07")}};
    records::RecordStore stored(model.Records().Columns());
    for (const Record& r : batch) stored.Add(r);
    model.Append(stored);
    const QString shown = model.index(0, 0).data().toString();
    EXPECT_TRUE(shown.startsWith("line one\\nline \\u202Etwo <b>xx")) << shown.toStdString();
    EXPECT_EQ(shown.size(), gui::RecordsModel::kShownCharacters + 1);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    const QString tip = model.index(0, 0).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("\\u202Etwo &lt;b&gt;xx")) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QString(300, 'x'))) << "each line of the tooltip is cut";
    EXPECT_EQ(model.index(1, 0).data().toString(), "\\x1B]0;title\\x07");
    // A value of many lines: the tooltip shows the first few, then "…".
    std::vector<Record> lines{{std::string("1\n2\n3\n4\n5\n6\n7\n8\n9\n10")}};
    records::RecordStore more(model.Records().Columns());
    more.Add(lines[0]);
    model.Append(more);
    const QString many = model.index(2, 0).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(many.contains("8") && !many.contains("9")) << many.toStdString();
    EXPECT_TRUE(many.contains(QChar(0x2026))) << many.toStdString();
}

// A letter more that every record shown still holds leaves the table as it
// is (the selection with it); one that changes what is shown resets it.
TEST(RecordsModelTest, FindResetsTheTableOnlyWhenWhatIsShownChanges) {
    gui::RecordsModel model;
    model.SetColumns({{"Name", records::Kind::Text}}, {});
    records::RecordStore stored(model.Records().Columns());
    for (const char* name : {"Anna Berg", "Anders Bjørn", "Carl"}) stored.Add({std::string(name)});
    model.Append(stored);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    const struct {
        const char* text;
        size_t shown;
        int resets;
    } steps[] = {{"a", 3, 0}, {"an", 2, 1}, {"ANB", 0, 2}, {"an", 2, 3}, {"and", 1, 4}, {"ande", 1, 4}, {"anders b", 1, 4}};
    for (const auto& step : steps) {
        model.SetFilter(QString::fromUtf8(step.text));
        EXPECT_EQ(model.Shown().size(), step.shown) << step.text;
        EXPECT_EQ(resets.count(), step.resets) << step.text;
    }
}

// Each group and changed record opens, except a group of more records
// than anyone reads, which stays closed (an open line costs the tree memory).
TEST(ComparisonDialogTest, OpensEveryGroupButOneTooLargeToRead) {
    records::Table held{kColumns, {"ID"}, {}};
    records::Comparison comparison;
    comparison.matchedBy = records::Comparison::MatchedBy::PrimaryKey;
    comparison.key = {"ID"};
    comparison.common = {"ID", "Name", "Notes"};
    for (int id = 1; id <= 10002; ++id) {
        held.records.push_back({int64_t{id}, std::string("Contact"), Null{}});
        if (id > 1) comparison.onlyInFirst.push_back(static_cast<size_t>(id - 1));
    }
    const records::Table live{kColumns, {"ID"}, {{int64_t{1}, std::string("Renamed"), Null{}}, {int64_t{0}, Null{}, Null{}}}};
    comparison.onlyInSecond = {1};
    comparison.changed = {{0, 0, {"Name"}}};
    const records::TableView which(held);
    for (const size_t only : {size_t{10001}, size_t{10000}}) {
        records::Comparison c = comparison;
        c.onlyInFirst.resize(only);
        gui::ComparisonDialog dialog(which, live, 2, c, "Backup 1", "Business", {}, nullptr);
        QTreeView& tree = dialog.Tree();
        const QAbstractItemModel& model = *tree.model();
        EXPECT_EQ(tree.isExpanded(model.index(0, 0)), only <= 10000) << only;
        EXPECT_TRUE(tree.isExpanded(model.index(1, 0)));
        EXPECT_TRUE(tree.isExpanded(model.index(0, 0, model.index(2, 0))));
    }
}

}  // namespace
