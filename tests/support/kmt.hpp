#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/cp932.hpp"

// Category files for tests, written as UTF-8 and turned into CP932 bytes.
namespace kbnset::test {

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
