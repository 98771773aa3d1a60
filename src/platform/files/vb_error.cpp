#include "platform/files/vb_error.h"

#include <filesystem>

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
        case InternalError:
            return "Internal error";
        case InputPastEnd:
            return "Input past end of file";
        case ObjectNotSet:
            return "Object variable or With block variable not set";
        case KeyAlreadyExists:
            return "This key is already associated with an element of this collection";
        default:
            return "";
    }
}

VbError Make(std::int32_t number) { return VbError(number, Description(number)); }

VbError From(const std::exception& e) {
    if (const auto* vb = dynamic_cast<const VbError*>(&e)) return *vb;
    if (dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
        return VbError(PathFileAccess, e.what());
    }
    return VbError(InternalError, e.what());
}

std::string Text(const std::exception& e) {
    const VbError error = From(e);
    return "Error " + std::to_string(error.Number) + ": " + error.Description;
}

}  // namespace vberr
