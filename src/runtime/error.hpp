#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kbnset::runtime {

// A runtime service that fails throws one of these. The loads, the save and the data-folder
// discovery (SF_LOAD) catch std::exception, so that running out of memory is handled like any
// failure; the settings readers catch Error; every other step lets it pass.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Text that is not a number, or bytes that are not valid in the ANSI code page.
class ConversionError : public Error {
  public:
    using Error::Error;
};

// A number outside the range of its type.
class OverflowError : public Error {
  public:
    using Error::Error;
};

// The system's own text for an error code: strerror on POSIX, FormatMessage on Windows.
std::string systemErrorText(int code);

// A file or directory operation that failed. code() is what the operating system said (errno
// on POSIX, GetLastError on Windows), or 0 when the program itself refused (a file that
// changed under the save, the end of a file inside a value). The text has one form on both
// platforms: "<operation> '<name>': <system text> (<code>)", without the name when there is
// none and without the system's part for code 0.
class IoError : public Error {
  public:
    IoError(std::string_view operation, std::string_view name, int code)
        : Error(format(operation, name, code)), code_(code) {}

    int code() const noexcept { return code_; }

  private:
    static std::string format(std::string_view operation, std::string_view name, int code) {
        std::string text(operation);
        if (!name.empty()) {
            text += " '";
            text += name;
            text += "'";
        }
        if (code != 0) text += ": " + systemErrorText(code) + " (" + std::to_string(code) + ")";
        return text;
    }

    int code_ = 0;
};

// The file is no longer the one loaded, or holds other bytes now: another program wrote it.
class ChangedError : public IoError {
  public:
    using IoError::IoError;
};

// The file is marked read-only (no write bit, or the read-only attribute); refused to root too.
class ReadOnlyError : public IoError {
  public:
    using IoError::IoError;
};

}  // namespace kbnset::runtime
