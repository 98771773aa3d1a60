// A run-time error of the program's runtime layer, carrying the number and description that
// the error handlers of the installer show ("Error 53: File not found").
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

struct VbError : std::runtime_error {
    VbError(std::int32_t number, std::string description)
        : std::runtime_error(description), Number(number), Description(std::move(description)) {}
    std::int32_t Number;
    std::string Description;
};

// Numbers and texts of the runtime's file errors.
namespace vberr {
constexpr std::int32_t FileNotFound = 53;         // "File not found"
constexpr std::int32_t FileAlreadyOpen = 55;      // "File already open"
constexpr std::int32_t DiskFull = 61;             // "Disk full"
constexpr std::int32_t PermissionDenied = 70;     // "Permission denied"
constexpr std::int32_t PathFileAccess = 75;       // "Path/File access error"
constexpr std::int32_t PathNotFound = 76;         // "Path not found"
constexpr std::int32_t InvalidProcedureCall = 5;  // "Invalid procedure call or argument"
constexpr std::int32_t Overflow = 6;              // "Overflow"
constexpr std::int32_t SubscriptOutOfRange = 9;   // "Subscript out of range"
constexpr std::int32_t DeviceIO = 57;             // "Device I/O error"
constexpr std::int32_t CantCreateObject = 429;    // "ActiveX component can't create object"
constexpr std::int32_t InternalError = 51;        // "Internal error"
constexpr std::int32_t InputPastEnd = 62;         // "Input past end of file"
// "Object variable or With block variable not set"
constexpr std::int32_t ObjectNotSet = 91;
// "This key is already associated with an element of this collection"
constexpr std::int32_t KeyAlreadyExists = 457;

// The runtime's description for a number above ("" for others).
const char* Description(std::int32_t number);
// A VbError with the runtime's description for that number.
VbError Make(std::int32_t number);

// Any failure as the runtime's error object holds it: a VbError as it is, a file system failure
// as "Path/File access error" with the system's text, anything else as an internal error.
VbError From(const std::exception& e);
// The text the installer shows for a failure: "Error 53: File not found".
std::string Text(const std::exception& e);
}  // namespace vberr
