#include "vb/error.h"

namespace vb {

Error FileNotFound() { return Error(kFileNotFound, "File not found"); }
Error DeviceIOError() { return Error(kDeviceIOError, "Device I/O error"); }
Error FileAlreadyExists() { return Error(kFileAlreadyExists, "File already exists"); }
Error DiskFull() { return Error(kDiskFull, "Disk full"); }
Error PermissionDenied() { return Error(kPermissionDenied, "Permission denied"); }
Error PathFileAccessError() { return Error(kPathFileAccessError, "Path/File access error"); }
Error PathNotFound() { return Error(kPathNotFound, "Path not found"); }
Error ObjectNotSet() { return Error(kObjectNotSet, "Object variable or With block variable not set"); }
Error DifferentDrive() { return Error(kDifferentDrive, "Can't rename with different drive"); }

Error HeldByProgram() { return Error(kPermissionDenied, "Permission denied", ErrorKind::HeldByProgram); }
Error HeldByCommand() {
    return Error(kPermissionDenied, "Another restore is running on this database", ErrorKind::HeldByCommand);
}
Error Stopped() { return Error(kUserInterrupt, "User interrupt occurred", ErrorKind::Stopped); }
Error ChangeNotSaved() {
    return Error(kDeviceIOError, "Device I/O error: the change was made, but the disk failed to save it",
                 ErrorKind::NotSaved);
}
Error NewDataNotSaved() {
    return Error(kDeviceIOError, "Device I/O error: the new data is in place, but the disk failed to save the change",
                 ErrorKind::NotSaved);
}

Error CannotTellIfHeld(int32_t Number, const std::string& Why) {
    return Error(Number, "Cannot tell whether another program holds the file: " + Why, ErrorKind::CannotTell);
}

Error CouldNotFindFile(const std::string& path) {
    return Error(kCouldNotFindFile, "Could not find file '" + path + "'.");
}
Error CannotOpenDatabase(const std::string& path) {
    return Error(kCannotOpenExclusive,
                 "The Microsoft Jet database engine cannot open the file '" + path +
                     "'. It is already opened exclusively by another user, or you need permission to view its data.");
}
Error UnrecognizedFormat(const std::string& path) {
    return Error(kUnrecognizedFormat, "Unrecognized database format '" + path + "'.");
}
Error ObjectInvalid() { return Error(kObjectInvalid, "Object invalid or no longer set."); }

}  // namespace vb
