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

}  // namespace vb
