#include "platform/files/vb_error.h"

namespace vberr {

const char* Description(std::int32_t number) {
    switch (number) {
        case InvalidProcedureCall:
            return "Invalid procedure call or argument";
        case Overflow:
            return "Overflow";
        case SubscriptOutOfRange:
            return "Subscript out of range";
        case FileNotFound:
            return "File not found";
        case FileAlreadyOpen:
            return "File already open";
        case DeviceIO:
            return "Device I/O error";
        case DiskFull:
            return "Disk full";
        case PermissionDenied:
            return "Permission denied";
        case PathFileAccess:
            return "Path/File access error";
        case PathNotFound:
            return "Path not found";
        case CantCreateObject:
            return "ActiveX component can't create object";
        case KeyAlreadyExists:
            return "This key is already associated with an element of this collection";
        default:
            return "";
    }
}

VbError Make(std::int32_t number) { return VbError(number, Description(number)); }

}  // namespace vberr
