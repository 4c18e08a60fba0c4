#pragma once

#include <exception>
#include <string>

namespace kbnset::runtime {

// The system's reason for a failure in Japanese, for a line that a user or a batch acts on:
// a full disk, a read-only file, a missing permission, a file that another program changed,
// memory that ran out. Empty when the cause is none of those worth saying (a format error,
// nothing thrown).
std::string reasonText(const std::exception_ptr& cause);

// The reason in full-width brackets, "（…）", to follow a message; empty with no reason.
std::string reasonSuffix(const std::exception_ptr& cause);

// The same for an operating-system error code (errno on POSIX, GetLastError on Windows).
std::string reasonForCode(int code);

}  // namespace kbnset::runtime
