#include "runtime/sequential.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/error.hpp"

namespace kbnset::runtime {
namespace {

using namespace std::string_literals;

// Serves bytes three at a time, so that values straddle the reader's refills, or all at once
// (kWhole), so that they lie whole in the reader's buffer.
constexpr std::size_t kWhole = SIZE_MAX;
struct MemoryFile : InputFile {
    MemoryFile(std::string content, std::size_t n) : bytes(std::move(content)), chunk(n) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min({size, chunk, bytes.size() - pos});
        std::memcpy(buffer, bytes.data() + pos, n);
        pos += n;
        return n;
    }
    std::string bytes;
    std::size_t chunk, pos = 0;
};

// A value read, or the kind of failure.
std::string outcome(const std::function<std::string()>& read) {
    try {
        return read();
    } catch (const OverflowError&) {
        return "!overflow";
    } catch (const ConversionError&) {
        return "!conversion";
    } catch (const IoError&) {
        return "!io";
    }
}

// Each row reads in turn: t readText, i readInteger, l readLong, e atEnd() (1 or 0), n line().
TEST(SequentialReader, ReadsValuesInTurn) {
    const std::string longest(SequentialReader::kMaxValueBytes, 'a');
    const std::string tooLong = longest + 'a';
    struct Case {
        std::string bytes;
        std::string reads;
        std::vector<std::string> expected;
    };
    // clang-format off
    const Case cases[] = {
        {"\"a,b\",\"\",12\r\n-3,\"x\"\r\n", "tttttet", {"a,b", "", "12", "-3", "x", "1", "!io"}},
        {"a\rb\nc\r\n\r\n \t\r\n", "ttte", {"a", "b", "c", "1"}},  // lone CR, lone LF
        // The line as an editor counts it, also where a CR LF straddles a refill.
        {"ab\r\nc\rd\n\ne", "tntntntn", {"ab", "2", "c", "3", "d", "4", "", "5"}},
        {" plain , 7 \t,\" q \"  ,x", "tttte", {"plain", "7", " q ", "x", "1"}},
        {"-32768,32767,\t-2147483648 \r\n", "iil", {"-32768", "32767", "-2147483648"}},
        {"\" 7 \",\"-5\t\",\"1 2\",\"0x10\"\r\n", "llll", {"7", "-5", "!conversion", "!conversion"}},
        {"\"" + longest + "\"\r\n" + longest + "\r\n", "tte", {longest, longest, "1"}},
        // A quote inside a quoted or an unquoted text, text after the closing quote, a lead
        // byte without its trail byte, NUL, a value over the limit, an unclosed quote.
        {"\"ab\"c\",1\r\n", "t", {"!conversion"}}, {"ab\"c,1\r\n", "t", {"!conversion"}},
        {"\"ab\" x,1\r\n", "t", {"!conversion"}}, {"\"\x82\",1\r\n", "t", {"!conversion"}},
        {"\"a\0b\",1\r\n"s, "t", {"!conversion"}}, {tooLong + ",1", "t", {"!conversion"}},
        {"\"never closed", "t", {"!io"}}, {",1\r\n", "l", {"!conversion"}},
        {"2147483648\r\n", "l", {"!overflow"}}, {"32768,-32769\r\n", "ii", {"!overflow", "!overflow"}},
    };
    // clang-format on
    for (const Case& c : cases)
        for (std::size_t chunk : {std::size_t{3}, kWhole}) {
            SCOPED_TRACE(c.bytes.substr(0, 40));
            SequentialReader in(std::make_unique<MemoryFile>(c.bytes, chunk));
            std::vector<std::string> got;
            for (char kind : c.reads) {
                got.push_back(outcome([&]() -> std::string {
                    if (kind == 'e') return in.atEnd() ? "1" : "0";
                    if (kind == 'i') return std::to_string(in.readInteger());
                    if (kind == 'n') return std::to_string(in.line());
                    return kind == 'l' ? std::to_string(in.readLong()) : in.readText();
                }));
            }
            EXPECT_EQ(got, c.expected);
        }
}

}  // namespace
}  // namespace kbnset::runtime
