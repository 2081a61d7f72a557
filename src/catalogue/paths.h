// Where the served application keeps its files: the editions, their product
// folders and backup extensions, and every path built from them. Each path
// is a plain concatenation; a special folder as GetSpecialFolder returns it
// already ends in "\".
#pragma once

#include <string>

#include "vb/casefold.h"

namespace catalogue {

inline constexpr const char* kBusiness = "Business";
inline constexpr const char* kPersonal = "Personal";
inline constexpr const char* kBusinessFolder = "Varnock Rolvane BE";
inline constexpr const char* kPersonalFolder = "Varnock Rolvane";
inline constexpr const char* kCurrentCaption = "(Current)";

inline constexpr const char* kOption12Query = "Select option from stringoptions where optionnumber = 12";
inline constexpr const char* kCountQuery = "select count(*) as counter from roof ";

// Under the documents folder.
inline std::string OptionDatabasePath(const std::string& documents) {
    return documents + kBusinessFolder + "\\Data\\options.mdb";
}
inline std::string BusinessFirstDefaultPath(const std::string& documents) {
    return documents + kBusinessFolder + "\\data\\bsrv.mdb";
}
inline std::string BusinessSecondDefaultPath(const std::string& documents) {
    return documents + kBusinessFolder + "\\Data\\bsrv.mdb";
}
inline std::string PersonalLivePath(const std::string& documents) {
    return documents + kPersonalFolder + "\\Data\\bsrv.mdb";
}

// Option 12 names a folder when it holds more than spaces; else the Business
// live database is at its default place.
inline bool NamesAFolder(const std::string& option12) {
    return option12.find_first_not_of(' ') != std::string::npos;
}

// The Business live database in the folder option 12 names, as stored (not
// trimmed). The file name is joined with one separator, so that discovery
// lists and Restore writes exactly one file. Only a closing "\" stands for
// that separator: the folder part of a path ends at its last "\", so a
// value ending in "/" still needs one for the numbered copy to land beside
// the live database.
inline std::string BusinessLiveIn(const std::string& folder) {
    return folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + "bsrv.mdb";
}

// The file name every live database has, in any case.
inline bool IsLiveDatabaseName(const std::string& name) { return vb::EqualsIgnoringCase(name, "bsrv.mdb"); }

// Under the application-data folder: the backup folder of an edition and its
// backup slots 1 to 5.
inline std::string BusinessBackupFolder(const std::string& appData) {
    return appData + kBusinessFolder + "\\Backups";
}
inline std::string PersonalBackupFolder(const std::string& appData) {
    return appData + kPersonalFolder + "\\Backups";
}
inline std::string BusinessBackupPath(const std::string& appData, int slot) {
    return BusinessBackupFolder(appData) + "\\Backup" + std::to_string(slot) + ".rb";
}
inline std::string PersonalBackupPath(const std::string& appData, int slot) {
    return PersonalBackupFolder(appData) + "\\Backup" + std::to_string(slot) + ".rv";
}

// Under the program-files folder: the blank shell file of each edition, in
// lower case as the installer's folders are matched without regard to case.
inline std::string BusinessShellPath(const std::string& programFiles) {
    return programFiles + "brenwick software\\varnock rolvane be\\data\\rv10db.shell";
}
inline std::string PersonalShellPath(const std::string& programFiles) {
    return programFiles + "brenwick software\\varnock rolvane\\data\\rv10db.shell";
}

}  // namespace catalogue
