// The DOS attributes Wine keeps for a file on a Unix file system. Wine
// stores the hidden and system attributes of a file in the extended
// attribute user.DOSATTRIB, in Samba's text form: "0x" and hex digits
// ("0x22" for hidden and archive), which Samba 4 may follow with a NUL and
// binary data.
#pragma once

#include <string>

namespace wine {

// Whether Windows programs under Wine see the file at hostPath as hidden or
// system. Wine reads at most 64 bytes, and a value of any other form counts
// as no attributes; so does a file system without extended attributes.
bool HiddenOrSystem(const std::string& hostPath);

}  // namespace wine
