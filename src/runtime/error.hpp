#pragma once

#include <stdexcept>

namespace kbnset::runtime {

// A runtime service that fails throws one of these. Steps that handle failures (the loads,
// the save, the settings-file reader, the browse) catch Error; every other step lets it pass.
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

// A file or directory operation that the operating system refused.
class IoError : public Error {
  public:
    using Error::Error;
};

}  // namespace kbnset::runtime
