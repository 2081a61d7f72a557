// The commands without a window, run as a script runs them: the program
// itself with no display, on a Wine home written by mkmdb, then the files
// on disk.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "support/qt_print.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include "support/file_bytes.h"
#include "support/holder.h"
#include "support/wine_home.h"

namespace {

namespace fs = std::filesystem;

// The program in a Wine home with the Personal edition: a live database of 3
// contacts and backup 2 of 7.
class Command : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::WineHome::Roof(live, 3);
        e2e::WineHome::Roof(backup, 7);
    }

    struct Run {
        int status;
        QString out, err;
    };
    // Starts the program in ann's home, without waiting for it (through
    // another program, such as strace, given with its arguments).
    void Begin(QProcess& program, const QStringList& arguments, const QString& output = {},
               const QStringList& through = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WINEPREFIX", "XDG_DATA_HOME",
                                 "XDG_CONFIG_HOME"})
            environment.remove(name);
        environment.insert("HOME", QString::fromStdString(home.Home()));
        environment.insert("USER", "ann");
        // A sanitized build's leak check cannot run under ptrace (strace).
        if (!through.isEmpty())
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        if (!output.isEmpty()) program.setStandardOutputFile(output);
        if (through.isEmpty()) program.start(QStringLiteral(ROLVANE_PROGRAM_PATH), arguments);
        else program.start(through.first(), through.mid(1) + QStringList{QStringLiteral(ROLVANE_PROGRAM_PATH)} + arguments);
    }
    static Run Ended(QProcess& program) {
        EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
    }
    Run Start(const QStringList& arguments, const QString& output = {}) {
        QProcess program;
        Begin(program, arguments, output);
        return Ended(program);
    }
    static std::string Bytes(const std::string& path) { return test_support::Read(path); }

    e2e::WineHome home;
    const std::string data = home.C("users/ann/Documents/Varnock Rolvane/Data");
    const std::string live = data + "/bsrv.mdb";
    const std::string backup = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup2.rv");
};

TEST_F(Command, ListsTheCatalogueAsJson) {
    const Run run = Start({"--list", "--json"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 2) << run.out.toStdString();
    const QJsonObject current = rows[0].toObject(), second = rows[1].toObject();
    EXPECT_EQ(current["edition"].toString(), "Personal");
    EXPECT_EQ(current["caption"].toString(), "(Current)");
    EXPECT_EQ(current["records"].toInt(), 3);
    EXPECT_EQ(fs::path(current["file"].toString().toStdString()), fs::canonical(live));
    EXPECT_EQ(second["caption"].toString(), "Backup 2");
    EXPECT_EQ(second["records"].toInt(), 7);
    // ISO 8601 with its offset, as the file's own time.
    const QDateTime modified = QDateTime::fromString(current["modified"].toString(), Qt::ISODate);
    struct stat st{};
    ASSERT_EQ(stat(live.c_str(), &st), 0);
    EXPECT_TRUE(modified.isValid()) << current["modified"].toString().toStdString();
    EXPECT_EQ(modified.toSecsSinceEpoch(), st.st_mtim.tv_sec);
}

TEST_F(Command, ReplacesOnlyWithConsent) {
    const std::string before = Bytes(live);
    const Run refused = Start({"--restore", "personal", "2"});
    EXPECT_EQ(refused.status, 2) << refused.err.toStdString();
    EXPECT_EQ(Bytes(live), before);
    EXPECT_FALSE(fs::exists(data + "/bsrv.1"));

    const Run missing = Start({"--restore", "Personal", "4", "--yes"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("There is no Backup 4 of the Personal edition.")) << missing.err.toStdString();

    const Run done = Start({"--restore", "PERSONAL", "2", "--yes"});
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_TRUE(done.err.contains("File was Restored\n"));
    EXPECT_EQ(Bytes(live), Bytes(backup));
    EXPECT_EQ(Bytes(data + "/bsrv.1"), before);
}

// Held by a record lock, or open in a wineserver of whatever name (Debian's
// wineserver32 among them): 75, and the folder as it was.
TEST_F(Command, ALiveDatabaseInUseIsATemporaryFailure) {
    const std::string before = Bytes(live);
    for (const char* server : {"", "wineserver32", "rolvane-holder"}) {
        SCOPED_TRACE(server);
        test_support::Holder holder(live, *server ? test_support::Hold::OpenInWineServer
                                                  : test_support::Hold::PosixWriteLock, server);
        const Run run = Start({"--restore", "personal", "2", "--yes"});
        EXPECT_EQ(run.status, 75) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("it is currently in use")) << run.err.toStdString();
        EXPECT_EQ(Bytes(live), before);
        for (const auto& entry : fs::directory_iterator(data))
            EXPECT_TRUE(entry.path().filename() == "bsrv.mdb" || test_support::IsOwnFile(entry.path().filename()))
                << "left behind: " << entry.path();
        EXPECT_EQ(Bytes(data + "/.restore-rolvane-data.versions"), "<missing>") << "no index written";
    }
}

}  // namespace

namespace {

TEST_F(Command, PutsBackWhatARestoreSetAside) {
    const std::string before = Bytes(live);
    ASSERT_EQ(Start({"--restore", "personal", "2", "--yes"}).status, 0);

    const Run listed = Start({"--versions", "personal", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    const QJsonArray copies = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    ASSERT_EQ(copies.size(), 1) << listed.out.toStdString();
    EXPECT_EQ(copies[0].toObject()["caption"].toString(), "bsrv.1");
    EXPECT_EQ(copies[0].toObject()["records"].toInt(), 3);

    EXPECT_EQ(Start({"--put-back", "personal", "2", "--yes"}).status, 1) << "there is no bsrv.2";
    EXPECT_EQ(Start({"--put-back", "personal", "1"}).status, 2) << "no consent";
    const Run done = Start({"--put-back", "personal", "1", "--yes"});
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_EQ(Bytes(live), before);
    EXPECT_EQ(Bytes(data + "/bsrv.1"), before) << "the chosen copy stays";
    EXPECT_EQ(Bytes(data + "/bsrv.2"), Bytes(backup)) << "the replaced data is the next copy";
}

// The copy that undoes the last command is listed first, whatever the file
// dates say (a backup older than the live database restored last), with
// the time it was set aside; a damaged copy is never put back.
TEST_F(Command, VersionsListTheLastSetAsideFirstAndADamagedCopyIsNotPutBack) {
    const std::string older = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup4.rv");
    e2e::WineHome::Roof(older, 4);
    e2e::WineHome::Touch(older, 2020, 1, 1, 0, 0, 0);
    ASSERT_EQ(Start({"--restore", "personal", "4", "--yes"}).status, 0);
    ASSERT_EQ(Start({"--restore", "personal", "2", "--yes"}).status, 0);
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    const Run listed = Start({"--versions", "personal", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    const QJsonArray copies = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    ASSERT_EQ(copies.size(), 2) << listed.out.toStdString();
    EXPECT_EQ(copies[0].toObject()["number"].toInt(), 2);
    EXPECT_EQ(copies[0].toObject()["records"].toInt(), 4) << "the older backup's data, set aside last";
    EXPECT_EQ(copies[1].toObject()["number"].toInt(), 1);
    for (const auto& copy : copies) {
        const QDateTime at = QDateTime::fromString(copy.toObject()["set_aside"].toString(), Qt::ISODate);
        EXPECT_TRUE(at.isValid() && std::abs(at.toSecsSinceEpoch() - now) < 120) << listed.out.toStdString();
    }

    const std::string live4 = Bytes(live);
    e2e::WineHome::Place(data + "/bsrv.3", Bytes(backup).substr(0, 3000));
    const Run refused = Start({"--put-back", "personal", "3", "--yes"});
    EXPECT_EQ(refused.status, 1);
    // Refused by its check, before the warning: one line that names it and why.
    EXPECT_TRUE(refused.err.contains(QRegularExpression("\nrestore-rolvane-data: Unable to restore file: [^\n]*/bsrv.3 is "
                                                        "damaged: its length, 3000 bytes, is not a whole number of "
                                                        "4096-byte pages. Nothing was changed.\n$")))
        << refused.err.toStdString();
    EXPECT_EQ(Bytes(live), live4);
    EXPECT_FALSE(fs::exists(data + "/bsrv.4")) << "nothing was set aside";
}

}  // namespace

namespace {

// Damaged and unreadable files around a command never stop it, and a
// listing shows them apart from an empty database.
TEST_F(Command, DamagedFilesAreListedAndNeverBlockACommand) {
    const std::string backups = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/");
    const std::string whole = Bytes(backup);
    e2e::WineHome::Place(backups + "Backup3.rv", whole.substr(0, 3000));  // cut short
    e2e::WineHome::Place(backups + "Backup4.rv", "");                     // empty
    e2e::WineHome::Roof(backups + "Backup5.rv", 0);                       // a database with no contacts

    const Run text = Start({"--list"});
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression("Backup 3 +Personal +cannot be read"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression("Backup 5 +Personal +0 "))) << text.out.toStdString();
    for (const char* name : {"Backup3.rv", "Backup4.rv"})
        EXPECT_EQ(text.err.count(QRegularExpression(QString("restore-rolvane-data: [^\n]*cannot be read[^\n]*%1").arg(name))), 1)
            << text.err.toStdString();
    EXPECT_FALSE(text.err.contains("C:\\")) << "named by their paths on this machine";

    const Run json = Start({"--list", "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 5) << json.out.toStdString();
    EXPECT_TRUE(rows[2].toObject()["records"].isNull());
    EXPECT_TRUE(rows[2].toObject()["error"].toString().contains("Unrecognized database format"));
    EXPECT_EQ(rows[4].toObject()["records"].toInt(-1), 0);
    EXPECT_FALSE(rows[4].toObject().contains("error"));

    const Run done = Start({"--restore", "personal", "2", "--yes"});
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_EQ(Bytes(live), whole);
}

TEST_F(Command, ADamagedLiveDatabaseIsReplacedAndKeptAsTheNumberedCopy) {
    const std::string damaged = Bytes(live).substr(0, 5000);
    for (const QStringList& command : {QStringList{"--restore", "personal", "2", "--yes"},
                                       QStringList{"--put-back", "personal", "1", "--yes"}}) {
        e2e::WineHome::Place(live, damaged);
        fs::remove(data + "/bsrv.1");
        if (command[0] == "--put-back") e2e::WineHome::Place(data + "/bsrv.1", Bytes(backup));
        const Run run = Start(command);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(Bytes(live), Bytes(backup)) << command[0].toStdString();
        EXPECT_EQ(Bytes(data + (command[0] == "--put-back" ? "/bsrv.2" : "/bsrv.1")), damaged);
    }
}

// --check: every database of the home, one line each; a damaged one, as
// text and as JSON, with where and what; a stale lock file beside the live
// database is a warning, which fails nothing. A restore of the damaged
// backup is refused in one line, and nothing changes.
TEST_F(Command, ChecksEveryDatabaseAndRestoresNoDamagedOne) {
    const Run good = Start({"--check"});
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_EQ(good.out.toStdString(), "Personal (Current): good\nPersonal Backup 2: good\n");

    e2e::WineHome::Place(data + "/bsrv.ldb", "");
    std::string bytes = Bytes(backup);
    std::fill(bytes.begin() + 3 * 4096, bytes.begin() + 4 * 4096, '\0');  // the definition of 'roof'
    e2e::WineHome::Place(backup, bytes);
    const Run text = Start({"--check", "personal"});
    EXPECT_EQ(text.status, 1) << text.err.toStdString();
    const QStringList lines = text.out.split('\n');
    ASSERT_GE(lines.size(), 5) << text.out.toStdString();
    EXPECT_EQ(lines[0], "Personal (Current): warnings: 1");
    EXPECT_TRUE(lines[1].startsWith("  warning: a lock file, bsrv.ldb, lies beside it")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "Personal Backup 2: damaged: roof, page 3: table definition on page 3 is a page of type 0");
    EXPECT_EQ(lines[3], "  damaged: roof, page 3: table definition on page 3 is a page of type 0");

    const Run json = Start({"--check", QString::fromStdString(backup), "--json"});
    EXPECT_EQ(json.status, 1) << json.err.toStdString();
    const QJsonArray files = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(files.size(), 1) << json.out.toStdString();
    const QJsonObject file = files[0].toObject();
    EXPECT_EQ(fs::path(file["file"].toString().toStdString()), fs::path(backup));
    EXPECT_TRUE(file["caption"].isNull());
    EXPECT_EQ(file["verdict"].toString(), "damaged");
    const QJsonObject first = file["findings"].toArray()[0].toObject();
    EXPECT_EQ(first["severity"].toString(), "damaged");
    EXPECT_EQ(first["table"].toString(), "roof");
    EXPECT_EQ(first["page"].toInt(), 3);
    EXPECT_TRUE(first["row"].isNull());

    const std::string before = Bytes(live);
    const Run restore = Start({"--restore", "personal", "2", "--yes"});
    EXPECT_EQ(restore.status, 1);
    EXPECT_TRUE(restore.err.endsWith("/Backup2.rv is damaged: roof, page 3: table definition on page 3 is a page of "
                                     "type 0. Nothing was changed.\n"))
        << restore.err.toStdString();
    EXPECT_EQ(Bytes(live), before);
    EXPECT_FALSE(fs::exists(data + "/bsrv.1"));
}

// Restore writes into the folder option 12 names even where discovery
// found the live database elsewhere: done is done, whatever follows.
TEST_F(Command, ARestoreIntoTheOption12FolderIsDoneWhereDiscoveryFellBack) {
    e2e::WineHome::Options(home.C("users/ann/Documents/Varnock Rolvane BE/Data/options.mdb"), "C:\\RolvaneData");
    fs::create_directories(home.C("RolvaneData"));
    e2e::WineHome::Roof(home.C("users/ann/Documents/Varnock Rolvane BE/Data/bsrv.mdb"), 5);
    e2e::WineHome::Roof(home.C("users/ann/AppData/Roaming/Varnock Rolvane BE/Backups/Backup1.rb"), 9);
    const Run run = Start({"--restore", "business", "1", "--yes"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("restore-rolvane-data: File was Restored\n")) << run.err.toStdString();
    EXPECT_EQ(Bytes(home.C("RolvaneData/bsrv.mdb")),
              Bytes(home.C("users/ann/AppData/Roaming/Varnock Rolvane BE/Backups/Backup1.rb")));
}

}  // namespace


namespace {

// Output that does not reach stdout fails the run in one line of its own.
TEST_F(Command, AWriteErrorOnStdoutIsToldAndFails) {
    for (const QStringList& line : {QStringList{"--list", "--json"}, QStringList{"--versions", "personal"},
                                    QStringList{"--help"}}) {
        const Run run = Start(line, "/dev/full");
        EXPECT_EQ(run.status, 1) << line.join(' ').toStdString();
        EXPECT_TRUE(run.err.endsWith("restore-rolvane-data: write error\n")) << run.err.toStdString();
        for (const QString& told : run.err.split('\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(told.startsWith("restore-rolvane-data: ")) << told.toStdString();
    }
}

// A Restore that was done stays done when closing stdout then fails (EIO, as
// on a network file system; strace injects it): the data was replaced, so
// the status is 0, and the failure is still told.
TEST_F(Command, AFailedCloseAfterADoneRestoreKeepsItDone) {
    if (QProcess::execute("strace", {"-o", "/dev/null", "true"}) != 0) GTEST_SKIP() << "strace cannot trace here";
    const QString out = QString::fromStdString(home.Home() + "/out");
    QProcess program;
    Begin(program, {"--restore", "personal", "2", "--yes"}, out,
          {"strace", "-f", "-o", "/dev/null", "-e", "trace=close", "-e", "inject=close:error=EIO", "-P", out});
    const Run run = Ended(program);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("File was Restored")) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith("restore-rolvane-data: write error\n")) << run.err.toStdString();
    EXPECT_EQ(Bytes(live), Bytes(backup));
}

}  // namespace

namespace {

// The folder's lock, held here as another command of the program holds it.
class LockHeld {
public:
    explicit LockHeld(const std::string& folder)
        : fd_(open((folder + "/.restore-rolvane-data.lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644)) {
        EXPECT_EQ(flock(fd_, LOCK_EX), 0);
    }
    ~LockHeld() { Release(); }
    void Release() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// What a script reads from a command that could not go ahead: 75 only for
// "in use", 1 with its own reason for what no wait mends; and nothing left
// behind either way.
TEST_F(Command, SeventyFiveMeansInUseAndNothingElse) {
    const struct {
        const char* name;
        std::function<void(std::unique_ptr<LockHeld>&)> lay;
        QStringList line;
        int status;
        const char* told;
    } rows[] = {
        {"another command holds the folder", [&](auto& held) { held = std::make_unique<LockHeld>(data); },
         {"--restore", "personal", "2", "--yes"}, 75,
         "restore-rolvane-data: Another restore is running on this database. Waiting for it to finish...\n"
         "restore-rolvane-data: Unable to restore file- another restore is running on this database."},
        {"a read-only live database", [&](auto&) { fs::permissions(live, fs::perms::owner_read); },
         {"--restore", "personal", "2", "--yes"}, 1, "restore-rolvane-data: Unable to restore file: Permission denied"},
        {"a live folder that is not there",
         [&](auto&) {
             e2e::WineHome::Options(home.C("users/ann/Documents/Varnock Rolvane BE/Data/options.mdb"), "C:\\Gone\\");
             e2e::WineHome::Roof(home.C("users/ann/AppData/Roaming/Varnock Rolvane BE/Backups/Backup1.rb"), 9);
         },
         {"--restore", "business", "1", "--yes"}, 1, "restore-rolvane-data: Unable to restore file: Path not found"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        fs::permissions(live, fs::perms::owner_read | fs::perms::owner_write);
        const std::string before = Bytes(live);
        std::unique_ptr<LockHeld> held;
        row.lay(held);
        const Run run = Start(row.line);
        EXPECT_EQ(run.status, row.status) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(row.told)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Exit Varnock Rolvane")) << "not the served application's in-use text";
        EXPECT_EQ(Bytes(live), before);
        for (const auto& entry : fs::directory_iterator(data))
            EXPECT_TRUE(entry.path().filename() == "bsrv.mdb" || test_support::IsOwnFile(entry.path().filename()))
                << "left behind: " << entry.path();
    }
}

// A command that meets the lock waits; once the other lets go it goes on.
TEST_F(Command, ACommandWaitsForTheOneBeforeItAndThenGoesOn) {
    LockHeld held(data);
    QProcess program;
    Begin(program, {"--restore", "personal", "2", "--yes"});
    program.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("Waiting for it to finish") && program.waitForReadyRead(10000))
        err += program.readAllStandardError();
    ASSERT_TRUE(err.contains("Waiting for it to finish")) << err.toStdString();
    held.Release();
    const Run run = Ended(program);
    EXPECT_EQ(run.status, 0) << err.toStdString() << run.err.toStdString();
    EXPECT_EQ(Bytes(live), Bytes(backup));
}

// Two commands started together, as from two terminals: both are done, one
// after the other, and each kept what it replaced, the last one's first.
TEST_F(Command, TwoCommandsStartedTogetherEachKeepWhatTheyReplaced) {
    const std::string other = home.C("users/ann/AppData/Roaming/Varnock Rolvane/Backups/Backup4.rv");
    e2e::WineHome::Roof(other, 4);
    const std::string original = Bytes(live);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(data);
        e2e::WineHome::Place(live, original);
        QProcess first, second;
        Begin(first, {"--restore", "personal", "2", "--yes"});
        Begin(second, {"--restore", "personal", "4", "--yes"});
        const Run a = Ended(first), b = Ended(second);
        ASSERT_EQ(a.status, 0) << a.err.toStdString();
        ASSERT_EQ(b.status, 0) << b.err.toStdString();
        const std::string now = Bytes(live);
        ASSERT_TRUE(now == Bytes(backup) || now == Bytes(other));
        const std::string replaced = now == Bytes(backup) ? Bytes(other) : Bytes(backup);
        const Run listed = Start({"--versions", "personal", "--json"});
        const QJsonArray copies = QJsonDocument::fromJson(listed.out.toUtf8()).array();
        ASSERT_EQ(copies.size(), 2) << listed.out.toStdString();
        EXPECT_EQ(Bytes(copies[0].toObject()["file"].toString().toStdString()), replaced) << "the last one's first";
        EXPECT_EQ(Bytes(copies[1].toObject()["file"].toString().toStdString()), original);
    }
}

}  // namespace
