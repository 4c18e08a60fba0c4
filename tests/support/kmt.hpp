#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.hpp"

// Category files for tests, written as UTF-8 and turned into CP932 bytes.
namespace kbnset::test {

struct Rec {
    std::string type = "一般";
    std::string name{};
    std::string code = "1";
    std::string key2{};
    std::string cls{};
};

inline std::string recordLine(const Rec& r, int n = 0) {
    std::string v = std::to_string(n);
    return "\"" + r.type + "\"," + v + ",\"" + r.name + "\",\"" + r.code + "\",\"" + r.key2 +
           "\"," + v + ",\"v7\"," + v + "," + v + ",\"" + r.cls + "\",\"\",0,0\r\n";
}

inline std::string kmtText(const std::vector<Rec>& records,
                           std::string_view header = "1,2,0,\"\",\"\",\"\"\r\n") {
    std::string text(header);
    int n = 0;
    for (const Rec& r : records) text += recordLine(r, n++);
    return text;
}

inline std::string kmt(const std::vector<Rec>& records) {
    return cp932(kmtText(records));
}

}  // namespace kbnset::test
