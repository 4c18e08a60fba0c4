#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.hpp"

// Category files for tests, written as UTF-8 and turned into CP932 bytes.
namespace kbnset::test {

// UTF-8 text to the bytes of code page 932. The conversion itself is held to Windows's own
// table by the code page test, so the fixtures may use it.
inline std::string cp932(std::string_view utf8) {
    return runtime::toAnsi(utf8);
}

struct Rec {
    std::string type = "一般";
    std::string name{};
    std::string code = "1";
    std::string key2{};
    std::string cls{};
};

inline std::string kmtText(const std::vector<Rec>& records,
                           std::string_view header = "1,2,0,\"\",\"\",\"\"\r\n") {
    std::string text(header);
    for (const Rec& r : records)
        text += "\"" + r.type + "\",0,\"" + r.name + "\",\"" + r.code + "\",\"" + r.key2 +
                "\",0,\"\",0,0,\"" + r.cls + "\",\"\",0,0\r\n";
    return text;
}

inline std::string kmt(const std::vector<Rec>& records) {
    return cp932(kmtText(records));
}

}  // namespace kbnset::test
