#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/text.hpp"

// Every character of code page 932 as Windows decodes, encodes and maps it, written out by
// the Win32 build under Wine. Both implementations must agree with it.
namespace kbnset::runtime {
namespace {

struct Row {
    std::string line;                    // as in the file, for the failure message
    std::string bytes;                   // CP932
    std::string text;                    // UTF-8
    std::optional<std::string> encoded;  // CP932; none when there is no exact encoding
    std::optional<std::string> mapped;   // UTF-8; none when the mapping fails
};

std::string bytesFromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The table holds only characters of the Basic Multilingual Plane.
std::string utf8FromCodePoints(const std::string& hexList) {
    std::string out;
    std::istringstream in(hexList);
    for (std::string hex; in >> hex;) {
        auto c = std::stoul(hex, nullptr, 16);
        auto byte = [&out](unsigned long v) { out += static_cast<char>(v); };
        if (c < 0x80) {
            byte(c);
        } else if (c < 0x800) {
            byte(0xC0 | (c >> 6));
            byte(0x80 | (c & 0x3F));
        } else {
            byte(0xE0 | (c >> 12));
            byte(0x80 | ((c >> 6) & 0x3F));
            byte(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const std::vector<Row>& table() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> out;
        std::ifstream in(KBNSET_TEST_DATA "/cp932-table.tsv", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string bytes, text, encoded, mapped;
            std::getline(fields, bytes, '\t');
            std::getline(fields, text, '\t');
            std::getline(fields, encoded, '\t');
            std::getline(fields, mapped, '\t');
            Row row{line, bytesFromHex(bytes), utf8FromCodePoints(text), {}, {}};
            if (encoded != "-") row.encoded = bytesFromHex(encoded);
            if (mapped != "-") row.mapped = utf8FromCodePoints(mapped);
            out.push_back(std::move(row));
        }
        return out;
    }();
    return rows;
}

// Counts the disagreements and keeps the first few, so that one failure message tells all.
struct Disagreements {
    std::size_t count = 0;
    std::string first;
    void add(const std::string& what) {
        if (++count <= 8) first += "\n  " + what;
    }
};

// Runs `check` on every row; a row passes when it returns empty text.
void expectAll(const std::function<std::string(const Row&)>& check) {
    ASSERT_GT(table().size(), 9000u) << "cp932-table.tsv missing or cut short";
    Disagreements found;
    for (const Row& row : table()) {
        std::string problem;
        try {
            problem = check(row);
        } catch (const Error& e) {
            problem = std::string("throws: ") + e.what();
        }
        if (!problem.empty()) found.add(row.line + "  -> " + problem);
    }
    EXPECT_EQ(found.count, 0u) << "rows that disagree with Windows, the first ones:" << found.first;
}

TEST(Cp932Table, DecodesAsWindows) {
    expectAll([](const Row& row) {
        return fromAnsi(row.bytes) == row.text ? "" : "decoded differently";
    });
}

// A row without a result expects the conversion to be refused.
std::string compare(const std::function<std::string()>& convert,
                    const std::optional<std::string>& expected) {
    if (expected) return convert() == *expected ? "" : "converted differently";
    try {
        convert();
    } catch (const ConversionError&) {
        return "";
    }
    return "converted what Windows refuses";
}

TEST(Cp932Table, EncodesAsWindows) {
    expectAll(
        [](const Row& row) { return compare([&] { return toAnsi(row.text); }, row.encoded); });
}

TEST(Cp932Table, MapsToUpperCaseAndHalfWidthAsWindows) {
    expectAll([](const Row& row) {
        return compare([&] { return toUpperHalfwidth(row.text); }, row.mapped);
    });
}

// Every single byte, and every pair after a lead byte, that Windows does not decode to one
// character must be refused rather than turned into something else.
TEST(Cp932Table, RefusesByteSequencesWindowsDoesNotDecode) {
    ASSERT_GT(table().size(), 9000u);
    std::set<std::string> known;
    std::set<unsigned char> leads;
    for (const Row& row : table()) {
        known.insert(row.bytes);
        if (row.bytes.size() == 2) leads.insert(static_cast<unsigned char>(row.bytes[0]));
    }
    Disagreements found;
    auto expectRefused = [&](const std::string& bytes) {
        if (known.count(bytes) != 0) return;
        try {
            fromAnsi(bytes);
        } catch (const ConversionError&) {
            return;
        }
        char hex[8];
        std::string text;
        for (char b : bytes) {
            std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(b));
            text += hex;
        }
        found.add(text);
    };
    for (int first = 0; first < 256; ++first) {
        expectRefused(std::string(1, static_cast<char>(first)));
        if (leads.count(static_cast<unsigned char>(first)) == 0) continue;
        for (int second = 0; second < 256; ++second)
            expectRefused({static_cast<char>(first), static_cast<char>(second)});
    }
    EXPECT_EQ(found.count, 0u) << "accepted, the first ones:" << found.first;
}

}  // namespace
}  // namespace kbnset::runtime
