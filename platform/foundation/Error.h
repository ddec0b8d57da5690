#pragma once
// An error value: a domain, a code and a localised description, as the
// platform reports failures. Plain value; copy freely.

#include <string>

#include "platform/foundation/Value.h"

namespace platform {

inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";

// URL loading error codes.
inline constexpr int NSURLErrorCancelled = -999;
inline constexpr int NSURLErrorBadURL = -1000;
inline constexpr int NSURLErrorTimedOut = -1001;
inline constexpr int NSURLErrorUnsupportedURL = -1002;
inline constexpr int NSURLErrorResourceUnavailable = -1008;
inline constexpr int NSURLErrorFileDoesNotExist = -1100;
inline constexpr int NSURLErrorNoPermissionsToReadFile = -1102;

// File error codes of the Cocoa domain.
inline constexpr int NSFileNoSuchFileError = 4;
inline constexpr int NSFileReadUnknownError = 256;
inline constexpr int NSFileWriteFileExistsError = 516;
inline constexpr int NSFileWriteUnknownError = 512;

struct Error {
    std::string domain;
    int code = 0;
    std::string localizedDescription;
    Dictionary userInfo;

    // "Error Domain=<domain> Code=<code> "<description>"", for logs.
    std::string description() const;
};

}  // namespace platform
