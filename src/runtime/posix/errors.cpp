#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/error.hpp"
#include "runtime/posix/os.hpp"

namespace kbnset::runtime {

std::string systemErrorText(int code) {
    return std::strerror(code);  // NOLINT(concurrency-mt-unsafe): one thread touches files
}

void throwLastError(std::string_view operation, std::string_view name) {
    throw IoError(operation, name, errno);
}

}  // namespace kbnset::runtime
