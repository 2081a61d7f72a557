// Errors as the users of the served application know them: a Visual Basic /
// DAO error number and its description. Every platform service reports a
// failure by throwing vb::Error; the line mechanism (procedure.h) catches it
// and hands it to ErrorProc or to a command's own handler.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vb {

// What the platform found behind a failure where its number alone does
// not tell. 70 is "Permission denied" both for a file another program holds
// open (what Windows reports for a sharing violation) and for a file that
// may not be written; only the first is worth waiting for. The kind travels
// with the error when it is copied.
enum class ErrorKind {
    Plain,          // the number says all
    HeldByProgram,  // 70: another program holds the file (record locks, a wineserver handle)
    HeldByCommand,  // 70: another command of this utility holds the database's folder
    Stopped,        // 18: a stop signal arrived before anything was replaced
    NotSaved,       // 57: the change is made, but the disk failed to save it
    CannotTell,     // the in-use check could not look (its number says at what): no wait is known to mend it
};

class Error : public std::runtime_error {
public:
    Error(int32_t number, std::string description, ErrorKind kind = ErrorKind::Plain)
        : std::runtime_error(description), number_(number), description_(std::move(description)), kind_(kind) {}

    int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }
    ErrorKind Kind() const { return kind_; }
    // Another program or another command holds what was to be changed: a
    // later try may succeed.
    bool InUse() const { return kind_ == ErrorKind::HeldByProgram || kind_ == ErrorKind::HeldByCommand; }

    // What the platform found behind the error in its own words, where the
    // number and description do not tell (why a database is 3343: the
    // check it failed); empty when there is nothing more to say.
    const std::string& Detail() const { return detail_; }
    Error& WithDetail(std::string detail) {
        detail_ = std::move(detail);
        return *this;
    }

private:
    int32_t number_;
    std::string description_;
    ErrorKind kind_;
    std::string detail_;
};

// Numbers the system raises itself or maps platform failures onto.
enum ErrorNumber : int32_t {
    kUserInterrupt = 18,
    kFileNotFound = 53,
    kDeviceIOError = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kDifferentDrive = 74,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kNoCurrentRecord = 3021,
    kCouldNotFindFile = 3024,
    kCannotOpenExclusive = 3051,
    kCannotFindTable = 3078,
    kSyntaxError = 3131,
    kItemNotFound = 3265,
    kUnrecognizedFormat = 3343,
    kObjectInvalid = 3420,
};

// The Visual Basic runtime's own wording for the file and object errors.
Error FileNotFound();        // 53 "File not found"
Error DeviceIOError();       // 57 "Device I/O error"
Error FileAlreadyExists();   // 58 "File already exists"
Error DiskFull();            // 61 "Disk full"
Error PermissionDenied();    // 70 "Permission denied"
Error PathFileAccessError(); // 75 "Path/File access error"
Error PathNotFound();        // 76 "Path not found"
Error ObjectNotSet();        // 91 "Object variable or With block variable not set"
Error DifferentDrive();      // 74 "Can't rename with different drive"

// The errors of a kind other than Plain, each with its own description.
Error HeldByProgram();       // 70 "Permission denied": another program holds the file
Error HeldByCommand();       // 70: another restore is running on this database
Error Stopped();             // 18 "User interrupt occurred"
// 57: the disk failed to save a change that was made. NewDataNotSaved is
// FileCopy's: the new data has taken the destination's place.
Error ChangeNotSaved();
Error NewDataNotSaved();
// Number (57 for an I/O error, 70 where it may not look, 75 anything
// else): whether another program holds the file cannot be told, Why says
// what could not be read.
Error CannotTellIfHeld(int32_t Number, const std::string& Why);

// The Jet database engine's own wording for the file errors it names a path in.
Error CouldNotFindFile(const std::string& path);    // 3024
Error CannotOpenDatabase(const std::string& path);  // 3051
Error UnrecognizedFormat(const std::string& path);  // 3343
Error ObjectInvalid();                              // 3420

}  // namespace vb
