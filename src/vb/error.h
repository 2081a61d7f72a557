// Errors as the users of the served application know them: a Visual Basic /
// DAO error number and its description. Every platform service reports a
// failure by throwing vb::Error; the line mechanism (procedure.h) catches it
// and hands it to ErrorProc or to a command's own handler.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vb {

class Error : public std::runtime_error {
public:
    Error(int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Numbers the system raises itself or maps platform failures onto.
enum ErrorNumber : int32_t {
    kFileNotFound = 53,
    kDeviceIOError = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
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

// The Jet database engine's own wording for the file errors it names a path in.
Error CouldNotFindFile(const std::string& path);    // 3024
Error CannotOpenDatabase(const std::string& path);  // 3051
Error UnrecognizedFormat(const std::string& path);  // 3343
Error ObjectInvalid();                              // 3420

}  // namespace vb
