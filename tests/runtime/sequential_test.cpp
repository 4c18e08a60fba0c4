#include "runtime/sequential.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/text.hpp"
#include "support/temp_dir.hpp"

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

SequentialReader reader(std::string bytes, std::size_t chunk = 3) {
    return SequentialReader(std::make_unique<MemoryFile>(std::move(bytes), chunk));
}

TEST(ToLong, AcceptsSignedDigitsWithBlanksAndRejectsTheRest) {
    const std::pair<const char*, std::int32_t> good[] = {{"0", 0},
                                                         {"-5", -5},
                                                         {"+7", 7},
                                                         {"  42\t", 42},
                                                         {"007", 7},
                                                         {"2147483647", 2147483647},
                                                         {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good) EXPECT_EQ(toLong(text), value) << text;
    for (const char* text : {"", "   ", "-", "12A", "1 2", "1.5", "- 5", "０", "0x10"})
        EXPECT_THROW(toLong(text), ConversionError) << text;
    for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999"})
        EXPECT_THROW(toLong(text), OverflowError) << text;
}

// Each case is read with readText to the end; then atEnd() holds and one more read fails.
TEST(SequentialReader, SeparatorsQuotesAndBlanks) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"\"a,b\",\"\",12\r\n-3,\"x\"\r\n", {"a,b", "", "12", "-3", "x"}},
        {"a\rb\nc\r\n", {"a", "b", "c"}},                           // lone CR, lone LF
        {"a\r\n\r\nb\r\n\r\n \t\r\n", {"a", "", "b"}},              // a blank line inside counts
        {" plain , 7 \t,\" q \"  ,x", {"plain", "7", " q ", "x"}},  // blanks trimmed outside quotes
        {"\"" + test::cp932("養護・理科室") + "\"," + test::cp932("管理"),
         {"養護・理科室", "管理"}},
        {"", {}},
    };
    for (const auto& [bytes, values] : cases) {
        for (std::size_t chunk : {std::size_t{3}, kWhole}) {
            auto in = reader(bytes, chunk);
            for (const std::string& value : values) EXPECT_EQ(in.readText(), value) << bytes;
            EXPECT_TRUE(in.atEnd()) << bytes;
            EXPECT_THROW(in.readText(), IoError) << bytes;
        }
    }
}

TEST(SequentialReader, NumbersAndTheLongestValue) {
    auto in = reader("-32768,32767,\t-2147483648 \r\n");
    EXPECT_EQ(in.readInteger(), -32768);
    EXPECT_EQ(in.readInteger(), 32767);
    EXPECT_EQ(in.readLong(), -2147483647 - 1);
    const std::string longest(SequentialReader::kMaxValueBytes, 'a');
    EXPECT_EQ(reader("\"" + longest + "\"\r\n").readText(), longest);
    EXPECT_EQ(reader(longest + "\r\n").readText(), longest);
}

TEST(SequentialReader, MalformedValuesFail) {
    const std::string tooLong(SequentialReader::kMaxValueBytes + 1, 'a');
    const std::string badTexts[] = {
        "\"ab\"c\",1\r\n",  // quote inside a quoted text
        "ab\"c,1\r\n",      // quote inside an unquoted text
        "\"ab\" x,1\r\n",   // text after the closing quote
        "\"\x82\",1\r\n",   // lead byte without its trail byte
        "\"a\0b\",1\r\n"s,  // NUL
        "\"" + tooLong + "\"", tooLong + ",1",
    };
    for (const std::string& bytes : badTexts)
        for (std::size_t chunk : {std::size_t{3}, kWhole})
            EXPECT_THROW(reader(bytes, chunk).readText(), ConversionError) << bytes.substr(0, 20);
    EXPECT_THROW(reader("\"never closed").readText(), IoError);
    for (const char* bytes : {"abc,1\r\n", ",1\r\n"})
        EXPECT_THROW(reader(bytes).readLong(), ConversionError) << bytes;
    EXPECT_THROW(reader("2147483648\r\n").readLong(), OverflowError);
    for (const char* bytes : {"32768\r\n", "-32769\r\n"})
        EXPECT_THROW(reader(bytes).readInteger(), OverflowError) << bytes;
}

struct StringFile : OutputFile {
    const std::string& name() const override { return label; }
    void write(std::string_view bytes) override { data.append(bytes); }
    void commit() override {}
    std::string label = "memory", data;
};

TEST(SequentialWriter, QuotesTextsJoinsWithCommasEndsWithCrLf) {
    StringFile file;
    SequentialWriter out(file);
    out.writeLine({3, 120, 0, "", "", ""});
    out.writeLine({"管理", -32768, "a,b", std::int32_t{2147483647}});
    EXPECT_EQ(file.data, "3,120,0,\"\",\"\",\"\"\r\n\"" + test::cp932("管理") +
                             "\",-32768,\"a,b\",2147483647\r\n");
    EXPECT_THROW(out.writeLine({"é"}), ConversionError);
}

}  // namespace
}  // namespace kbnset::runtime
