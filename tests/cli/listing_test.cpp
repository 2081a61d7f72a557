// The listing as JSON: valid whatever the bytes of a path.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/qt_print.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/listing.h"
#include "records/json.h"
#include "records/render.h"

namespace {

// Valid JSON whatever the bytes: a path that is not UTF-8 shows U+FFFD in
// file and keeps its exact bytes in file_base64.
TEST(Json, BytesThatAreNotUtf8StillGiveValidJsonAndTheExactPath) {
    const std::string odd = "/home/ann/caf\xe9/bsrv.mdb";  // Latin-1, not UTF-8
    const std::vector<cli::Listed> rows{
        {"Personal", "(Current)", 3, "", "", "", "/home/ann/café/bsrv.mdb", "2026-03-02T09:41:12+01:00"},
        {"Personal", "Backup 1", std::nullopt, "Unrecognized database format '" + odd + "'.", "", "", odd, ""}};
    QJsonParseError error{};
    const QJsonArray parsed = QJsonDocument::fromJson(QByteArray::fromStdString(cli::JsonText(rows)), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_EQ(parsed.size(), 2);
    const QJsonObject plain = parsed[0].toObject(), bad = parsed[1].toObject();
    EXPECT_EQ(plain.keys(), (QStringList{"caption", "edition", "file", "modified", "records"}));
    EXPECT_EQ(plain["file"].toString(), QString::fromUtf8("/home/ann/café/bsrv.mdb"));
    EXPECT_TRUE(bad["records"].isNull());
    EXPECT_TRUE(bad["modified"].isNull());
    EXPECT_EQ(bad["file"].toString(), QString::fromUtf8("/home/ann/caf\uFFFD/bsrv.mdb"));
    EXPECT_EQ(QByteArray::fromBase64(bad["file_base64"].toString().toLatin1()).toStdString(), odd);
    EXPECT_TRUE(bad["error"].toString().contains(QChar(0xFFFD)));
}

TEST(Json, OnlyWellFormedUtf8IsUtf8) {
    for (const char* good : {"", "plain", "caf\xc3\xa9", "\xf0\x9f\x98\x80", "\xef\xbf\xbd"})
        EXPECT_TRUE(records::IsUtf8(good)) << good;
    for (const char* bad : {"\xe9", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80"})
        EXPECT_FALSE(records::IsUtf8(bad)) << bad;
    EXPECT_EQ(records::Base64("any carnal pleas"), "YW55IGNhcm5hbCBwbGVhcw==");
    EXPECT_EQ(records::Base64("any carnal pleasu"), "YW55IGNhcm5hbCBwbGVhc3U=");
}

}  // namespace
