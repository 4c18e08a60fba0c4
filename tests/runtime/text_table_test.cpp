#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/text.hpp"
#include "runtime/utf8.hpp"

// Every character of code page 932 as Windows decodes, encodes and maps it, written out by
// the Win32 build under Wine. Both implementations must agree with it.
namespace kbnset::runtime {
namespace {

using namespace std::string_literals;

struct Row {
    std::string line, bytes, text;       // the line for messages, CP932, UTF-8
    std::optional<std::string> encoded;  // CP932; none when there is no exact encoding
    std::optional<std::string> mapped;   // UTF-8; none when the mapping fails
};

// "-" is none; otherwise hex bytes, or (as UTF-8) blank-separated BMP code points.
std::optional<std::string> decodeField(const std::string& field, bool codePoints) {
    if (field == "-") return std::nullopt;
    std::string out;
    if (!codePoints) {
        for (std::size_t i = 0; i + 1 < field.size(); i += 2)
            out += static_cast<char>(std::stoul(field.substr(i, 2), nullptr, 16));
        return out;
    }
    std::istringstream in(field);
    for (std::string hex; in >> hex;)
        utf8::append(static_cast<char32_t>(std::stoul(hex, nullptr, 16)), out);
    return out;
}

const std::vector<Row>& table() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> out;
        std::ifstream in(KBNSET_TEST_DATA "/cp932-table.tsv", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string f[4];
            for (std::string& field : f) std::getline(fields, field, '\t');
            out.push_back({line, *decodeField(f[0], false), *decodeField(f[1], true),
                           decodeField(f[2], false), decodeField(f[3], true)});
        }
        return out;
    }();
    return rows;
}

// The result of a conversion, or none when it is refused.
std::optional<std::string> attempt(const std::function<std::string()>& convert) {
    try {
        return convert();
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

TEST(Cp932Table, AgreesWithWindows) {
    ASSERT_GT(table().size(), 9000u) << "cp932-table.tsv missing or cut short";
    std::size_t count = 0;
    std::string first;  // the first few, so that one failure message tells all
    auto found = [&](const std::string& what) {
        if (++count <= 8) first += "\n  " + what;
    };
    std::set<std::string> known;
    std::set<int> leads;
    for (const Row& row : table()) {
        known.insert(row.bytes);
        if (row.bytes.size() == 2) leads.insert(static_cast<unsigned char>(row.bytes[0]));
        std::string problem;
        if (attempt([&] { return fromAnsi(row.bytes); }) != row.text) problem += " decoded";
        if (attempt([&] { return toAnsi(row.text); }) != row.encoded) problem += " encoded";
        if (attempt([&] { return toUpperHalfwidth(row.text); }) != row.mapped) problem += " mapped";
        if (!problem.empty()) found(row.line + "  ->" + problem + " differently");
    }
    // Every single byte, and every pair after a lead byte, that Windows does not decode to one
    // character must be refused rather than turned into something else.
    auto expectRefused = [&](const std::string& bytes) {
        if (known.count(bytes) == 0 && attempt([&] { return fromAnsi(bytes); }))
            found(testing::PrintToString(bytes) + "  -> accepted");
    };
    for (int lead = 0; lead < 256; ++lead) {
        expectRefused(std::string(1, static_cast<char>(lead)));
        if (leads.count(lead) == 0) continue;
        for (int trail = 0; trail < 256; ++trail)
            expectRefused({static_cast<char>(lead), static_cast<char>(trail)});
    }
    EXPECT_EQ(count, 0u) << "disagreements with Windows, the first ones:" << first;
}

// Whole texts: a lead byte at the end of a longer value; best fits that would come back as
// another text (the yen sign as a backslash, U+2014 as U+2015), characters outside the code
// page (U+10041 is no "A").
TEST(AnsiText, WhatHasNoExactFormIsRefused) {
    EXPECT_THROW(fromAnsi("ABC\x81"), ConversionError);
    for (const std::string& text : {"café"s, "A—B"s, "¥100"s, "\U00010041"s, "\xE5\x82"s})
        EXPECT_THROW(toAnsi(text), ConversionError) << testing::PrintToString(text);
}

}  // namespace
}  // namespace kbnset::runtime
