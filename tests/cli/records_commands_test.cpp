// --show, --find and --compare run as a script runs them: the program
// itself on a Wine home whose databases mkmdb wrote as contacts.
#include <gtest/gtest.h>

#include "support/qt_print.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <fstream>
#include <set>

#include "mkmdb/contacts.h"
#include "support/wine_home.h"

namespace {

namespace fs = std::filesystem;

// Personal: the live database holds contacts 95 to 104 with 97 changed,
// backup 2 holds 90 to 100, and bsrv.1 beside the live one is damaged.
class RecordsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(data);
        fs::create_directories(fs::path(backup).parent_path());
        Contacts(live, 95, 10, {97});
        Contacts(backup, 90, 11, {});
        std::ofstream(data + "/bsrv.1") << "not a database";
    }
    static void Contacts(const std::string& path, int32_t first, size_t count, std::set<int32_t> changed) {
        mkmdb::ContactList list;
        list.first = first;
        list.count = count;
        list.changed = std::move(changed);
        mkmdb::Write(path, {mkmdb::ContactsTable(list)});
    }

    struct Run {
        int status;
        QByteArray out;
        QString err;
    };
    Run Start(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WINEPREFIX"}) environment.remove(name);
        environment.insert("HOME", QString::fromStdString(home.Home()));
        environment.insert("USER", "ann");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), arguments);
        EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, program.readAllStandardOutput(),
                QString::fromUtf8(program.readAllStandardError())};
    }
    static std::set<int> Ids(const QJsonArray& records) {
        std::set<int> ids;
        for (const auto& record : records) ids.insert(record.toObject()["ID"].toInt());
        return ids;
    }

    e2e::WineHome home;
    const std::string data = home.C("users/ann/Documents/Varnock Rolvane/Data");
    const std::string live = data + "/bsrv.mdb";
    const std::string backup = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup2.rv");
};

TEST_F(RecordsCommand, ShowGivesEveryRecordAsJsonCsvAndATextThatNeverReachesTheTerminalRaw) {
    const Run json = Start({"--show", "personal", "current", "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray records = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(records.size(), 10);
    const QJsonObject first = records[0].toObject();  // contact 95
    ASSERT_EQ(first.keys().size(), 20);
    EXPECT_TRUE(json.out.startsWith("[\n{\"ID\":95,\"FirstName\":")) << "keys in the table's order";
    EXPECT_EQ(first["ID"].toInt(), 95);
    EXPECT_TRUE(first["Active"].isBool());
    EXPECT_TRUE(first["Balance"].isDouble());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(first["Created"].toString()).hasMatch());
    EXPECT_TRUE(records[5].toObject()["Company"].isNull()) << "contact 100 has no company";
    EXPECT_TRUE(QByteArray::fromBase64(records[1].toObject()["Photo"].toString().toLatin1()).startsWith("BM"))
        << "contact 96's photo, its bytes in base64";
    EXPECT_EQ(records[6].toObject()["Title"].toString(), "\u202Eredaeh\u202C CEO");

    const Run csv = Start({"--show", "personal", "2", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.out.startsWith("ID,FirstName,LastName,Company,")) << "a header row and no byte-order mark";
    EXPECT_EQ(csv.out.count("\r\n"), 12) << "CRLF after the header and each of the 11 records";

    const Run text = Start({"--show", "personal", "current"});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.count('\n'), 11);
    for (char c : text.out) ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << int(c);
    EXPECT_FALSE(text.out.contains("\u202E"));
    EXPECT_TRUE(text.out.contains("Dr.\\tmed.\\x01\\x7F")) << "contact 97's title, escaped";
    EXPECT_TRUE(text.out.contains("\\u202Eredaeh"));
}

TEST_F(RecordsCommand, CompareFindsExactlyTheRecordsAddedRemovedAndChanged) {
    const Run run = Start({"--compare", "personal", "2", "--json"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(result.keys(), (QStringList{"changed", "only_in_current", "only_in_which"}));
    EXPECT_EQ(Ids(result["only_in_which"].toArray()), (std::set<int>{90, 91, 92, 93, 94}));
    EXPECT_EQ(Ids(result["only_in_current"].toArray()), (std::set<int>{101, 102, 103, 104}));
    const QJsonArray changed = result["changed"].toArray();
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0].toObject()["which"].toObject()["ID"].toInt(), 97);
    EXPECT_EQ(changed[0].toObject()["current"].toObject()["City"].toString(), "Moved City");
    // mkmdb gives a changed contact another City, Phone, Notes and Modified.
    QStringList fields;
    for (const auto& field : changed[0].toObject()["fields"].toArray()) fields << field.toString();
    EXPECT_EQ(fields, (QStringList{"City", "Phone", "Modified", "Notes"}));

    const Run text = Start({"--compare", "personal", "2"});
    EXPECT_TRUE(text.out.contains("Changed: 1 record\n  ID 97\n    City: ")) << text.out.toStdString();
    const Run same = Start({"--compare", "personal", "current"});
    EXPECT_EQ(same.status, 0);
    EXPECT_TRUE(same.out.isEmpty());
    EXPECT_TRUE(same.err.contains("restore-rolvane-data: No difference between current and the live database"))
        << same.err.toStdString();
}

TEST_F(RecordsCommand, FindSearchesEveryDatabaseOfTheEditionAndSaysWhatItCouldNotRead) {
    const Run run = Start({"--find", "personal", "CONTACT98@example", "--json"});
    EXPECT_EQ(run.status, 1) << "bsrv.1 could not be searched";
    EXPECT_TRUE(run.err.contains("bsrv.1: cannot be read") || run.err.contains("cannot be read: ")) << run.err.toStdString();
    QJsonArray found = QJsonDocument::fromJson(run.out).array();
    ASSERT_EQ(found.size(), 3) << run.out.toStdString();
    // The copy it could not read is in the output too, with its reason.
    const QJsonObject unread = found.takeAt(1).toObject();
    EXPECT_EQ(unread.keys(), (QStringList{"caption", "edition", "error", "file", "matches_read"}));
    EXPECT_EQ(unread["caption"].toString(), "bsrv.1");
    EXPECT_FALSE(unread["error"].toString().isEmpty());
    // The reason names the copy as the output does, by its path on this machine.
    EXPECT_TRUE(unread["error"].toString().contains(unread["file"].toString())) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("C:\\") || run.err.contains("C:\\")) << run.err.toStdString();
    EXPECT_EQ(unread["matches_read"].toInt(), 0);
    for (const auto& [index, caption] : {std::pair{0, "(Current)"}, std::pair{1, "Backup 2"}}) {
        const QJsonObject entry = found[index].toObject();
        EXPECT_EQ(entry.keys(), (QStringList{"caption", "edition", "file", "record"}));
        EXPECT_EQ(entry["edition"].toString(), "Personal");
        EXPECT_EQ(entry["caption"].toString(), caption);
        EXPECT_EQ(entry["record"].toObject()["ID"].toInt(), 98);
    }
    EXPECT_EQ(fs::path(found[1].toObject()["file"].toString().toStdString()), fs::canonical(backup));

    fs::remove(data + "/bsrv.1");
    fs::copy_file(backup, data + "/bsrv.3");
    const Run copies = Start({"--find", "personal", "contact98@"});
    EXPECT_EQ(copies.status, 0) << copies.err.toStdString();
    EXPECT_TRUE(copies.out.contains("bsrv.3 (")) << copies.out.toStdString();
    const Run none = Start({"--find", "personal", "nobody@nowhere"});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains("restore-rolvane-data: No record of the Personal edition holds \"nobody@nowhere\"."));
}

TEST_F(RecordsCommand, AMissingOrDamagedDatabaseFailsWithItsReason) {
    for (const auto& [which, told] : {std::pair{"4", "There is no Backup 4 of the Personal edition."},
                                      std::pair{"bsrv.7", "There is no numbered copy bsrv.7 of the Personal edition."},
                                      std::pair{"bsrv.1", "cannot be read: "}}) {
        const Run run = Start({"--show", "personal", which});
        EXPECT_EQ(run.status, 1) << which;
        EXPECT_TRUE(run.out.isEmpty()) << which;
        EXPECT_TRUE(run.err.contains(told)) << run.err.toStdString();
        // Ours; the reader child names itself in the reason it gives.
        for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith("restore-rolvane-data: "))
                << line.toStdString();
    }
}

}  // namespace
