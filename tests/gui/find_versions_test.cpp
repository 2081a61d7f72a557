// Find in All Copies over the history store's versions: each record found in
// them once, with its timeline, and Enter opening the version that held it.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "gui/records_dialog.h"
#include "gui/results_dialogs.h"
#include "history/history_support.h"
#include "records/fake_source.h"
#include "support/temp_folder.h"

namespace {

constexpr const char* kLive = "C:\\Data\\bsrv.mdb";

records::Table Names(std::vector<std::string> names) {
    records::Table table{{{"Name", records::Kind::Text}}, {}, {}};
    for (std::string& name : names) table.records.push_back({std::move(name)});
    return table;
}

TEST(FindInVersionsTest, ARecordDeletedBetweenVersionsIsToldOnceWithItsTimelineAndEnterOpensItsVersion) {
    platform_test::TempFolder folder;
    {
        history::Store store(folder.path(), true);
        for (size_t v = 0; v < 3; ++v)
            history_test::AddFile(store, history_test::File(3, {v}), {"Business", kLive}, 1767225600 + int64_t(v) * 86400);
    }
    fakes::FakeRecords data;
    data.tables["live"] = Names({"Anna"});
    data.tables["@1"] = Names({"Anna", "Bob"});
    data.tables["@2"] = Names({"Anna", "Bob"});
    data.tables["@3"] = Names({"Anna"});
    gui::RecordsContext context;
    // A version is read from its rebuilt file, named for it ("bsrv@2").
    context.sources = [&data]() -> std::unique_ptr<records::Source> {
        struct ByVersion : fakes::FakeRecords::Source {
            using fakes::FakeRecords::Source::Source;
            void Find(const std::string& path, const std::string& text, const LayoutSink& layout,
                      const BatchSink& batch) override {
                const size_t at = path.rfind('@');
                fakes::FakeRecords::Source::Find(at == std::string::npos ? path : path.substr(at, path.find('.', at) - at),
                                                 text, layout, batch);
            }
        };
        return std::make_unique<ByVersion>(data);
    };
    context.places = [] { return std::vector<records::Place>{{"(Current)", "live", "live database", "2026-03-01"}}; };
    context.store = std::make_shared<app::RebuiltVersions>(folder.path());
    context.storeEdition = "Business";
    context.livePath = kLive;
    std::vector<std::pair<std::string, std::string>> putBack;  // what Put Back… was handed: caption, bytes
    context.replaceLive = [&putBack](const records::Place& place, QWidget*) {
        putBack.emplace_back(place.caption, platform_test::ReadFile(place.path));
    };

    gui::FindAllDialog results(context, "bob", "Business", nullptr);
    QSignalSpy finished(&results, &gui::FindAllDialog::finished);
    ASSERT_TRUE(finished.wait(10000));
    QTableWidget& list = results.List();
    std::vector<std::string> rows;
    for (int r = 0; r < list.rowCount(); ++r)
        rows.push_back((list.item(r, 0)->text() + "|" + list.item(r, 3)->text() + "|" + list.item(r, 4)->text()).toStdString());
    EXPECT_EQ(rows, (std::vector<std::string>{"(Current)|0|live",
                                              "@2|in @1 to @2, not in the current database|Bob"}));
    EXPECT_EQ(results.Status().text(), "0 of 1 databases hold matching records. 3 version(s) of the history store "
                                       "searched: 1 record(s) found in them.");

    QSignalSpy opened(&results, &gui::FindAllDialog::opened);
    list.setFocus();
    list.setCurrentCell(1, 0);
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1);
    auto* shown = qobject_cast<gui::RecordsDialog*>(opened[0][0].value<QDialog*>());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->FindField().text(), "bob");
    EXPECT_TRUE(shown->windowTitle().contains("@2")) << shown->windowTitle().toStdString();

    // Put Back… there hands on the version rebuilt, byte for byte as taken.
    ASSERT_NE(shown->ReplaceButton(), nullptr);
    EXPECT_EQ(shown->ReplaceButton()->text(), "Put &Back…");
    shown->ReplaceButton()->click();
    EXPECT_EQ(putBack, (std::vector<std::pair<std::string, std::string>>{{"@2", history_test::File(3, {1})}}));
}

// A history store that cannot be read is said in the status, once, beside
// what the databases gave, and is left as it was.
TEST(FindInVersionsTest, AStoreThatCannotBeReadIsSaidAndLeftAsItIs) {
    platform_test::TempFolder folder;
    const std::string damaged(8192, 'x');
    platform_test::WriteFile(folder.path() + "/history.db", damaged);
    fakes::FakeRecords data;
    data.tables["live"] = Names({"Bob"});
    gui::RecordsContext context;
    context.sources = [&data] { return std::make_unique<fakes::FakeRecords::Source>(data); };
    context.places = [] { return std::vector<records::Place>{{"(Current)", "live", "live database", "2026-03-01"}}; };
    context.store = std::make_shared<app::RebuiltVersions>(folder.path());
    context.storeEdition = "Business";
    context.livePath = kLive;

    gui::FindAllDialog results(context, "bob", "Business", nullptr);
    QSignalSpy finished(&results, &gui::FindAllDialog::finished);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(results.List().rowCount(), 1);
    const QString status = results.Status().text();
    EXPECT_TRUE(status.startsWith("1 of 1 databases hold matching records. The history store cannot be read"))
        << status.toStdString();
    EXPECT_EQ(status.count("history store"), 1) << status.toStdString();
    EXPECT_EQ(platform_test::ReadFile(folder.path() + "/history.db"), damaged);
}

}  // namespace
