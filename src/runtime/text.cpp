#include "runtime/text.hpp"

#include <string>

// The string forms of the conversions; each platform's text.cpp writes into a buffer.
namespace kbnset::runtime {

std::string fromAnsi(std::string_view bytes) {
    std::string out(kFromAnsiRoom * bytes.size(), '\0');
    out.resize(static_cast<std::size_t>(fromAnsi(bytes, out.data()) - out.data()));
    return out;
}

std::string toAnsi(std::string_view utf8) {
    std::string out(kToAnsiRoom * utf8.size(), '\0');
    out.resize(static_cast<std::size_t>(toAnsi(utf8, out.data()) - out.data()));
    return out;
}

}  // namespace kbnset::runtime
