#include "runtime/sequential.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/text.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::runtime {
namespace {

// Serves bytes in small pieces so that values straddle the reader's refills.
class MemoryFile : public InputFile {
  public:
    explicit MemoryFile(std::string bytes, std::size_t piece = 3)
        : bytes_(std::move(bytes)), piece_(piece) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t n = std::min({size, piece_, bytes_.size() - pos_});
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }

  private:
    std::string bytes_;
    std::size_t piece_;
    std::size_t pos_ = 0;
};

SequentialReader reader(std::string bytes) {
    return SequentialReader(std::make_unique<MemoryFile>(std::move(bytes)));
}

TEST(ToLong, AcceptsSignedDigitsWithBlanksAndRejectsTheRest) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;  // nullopt: ConversionError
    };
    const Case cases[] = {
        {"0", 0},
        {"123", 123},
        {"-5", -5},
        {"+7", 7},
        {"  42\t", 42},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"12A", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"- 5", std::nullopt},
        {"０", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.value) {
            EXPECT_EQ(toLong(c.text), *c.value) << c.text;
        } else {
            EXPECT_THROW(toLong(c.text), ConversionError) << c.text;
        }
    }
    for (const char* big : {"2147483648", "-2147483649", "99999999999999999999999"})
        EXPECT_THROW(toLong(big), OverflowError) << big;
}

TEST(SequentialReader, LineEndsSeparateLikeCommasAndQuotesProtectCommas) {
    auto in = reader("\"a,b\",\"\",12\r\n-3,\"x\"\r\nplain , 7 \n\"last\"\r\n\r\n");
    EXPECT_EQ(in.readText(), "a,b");
    EXPECT_EQ(in.readText(), "");
    EXPECT_EQ(in.readLong(), 12);
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(in.readInteger(), -3);
    EXPECT_EQ(in.readText(), "x");
    EXPECT_EQ(in.readText(), "plain");
    EXPECT_EQ(in.readLong(), 7);
    EXPECT_EQ(in.readText(), "last");
    EXPECT_TRUE(in.atEnd());
    EXPECT_THROW(in.readText(), IoError);
}

TEST(SequentialReader, EmptyFileIsAtEndAndCannotBeRead) {
    auto in = reader("");
    EXPECT_TRUE(in.atEnd());
    EXPECT_THROW(in.readLong(), IoError);
}

TEST(SequentialReader, MalformedValuesFail) {
    struct Case {
        std::string_view bytes;
        bool asNumber;
    };
    using namespace std::literals;
    const Case conversion[] = {
        {"\"ab\"c\",1\r\n"sv, false},  // quote inside a quoted text
        {"ab\"c,1\r\n"sv, false},      // quote inside an unquoted text
        {"\"ab\" x,1\r\n"sv, false},   // text after the closing quote
        {"abc,1\r\n"sv, true},         // not a number
        {",1\r\n"sv, true},            // empty number
        {"\"\x82\",1\r\n"sv, false},   // lead byte without its trail byte
        {"\"a\0b\",1\r\n"sv, false},   // NUL
    };
    for (const Case& c : conversion) {
        auto in = reader(std::string(c.bytes));
        if (c.asNumber) {
            EXPECT_THROW(in.readLong(), ConversionError) << c.bytes;
        } else {
            EXPECT_THROW(in.readText(), ConversionError) << c.bytes;
        }
    }
    EXPECT_THROW(reader("\"never closed").readText(), IoError);
    EXPECT_THROW(reader("32768\r\n").readInteger(), OverflowError);
    EXPECT_THROW(reader("-32769\r\n").readInteger(), OverflowError);
    EXPECT_EQ(reader("-32768\r\n").readInteger(), -32768);
    EXPECT_THROW(reader("2147483648\r\n").readLong(), OverflowError);
}

TEST(SequentialReader, ValueLengthIsBounded) {
    std::string longest(SequentialReader::kMaxValueBytes, 'a');
    EXPECT_EQ(reader("\"" + longest + "\"\r\n").readText(), longest);
    EXPECT_THROW(reader("\"" + longest + "a\"\r\n").readText(), ConversionError);
    EXPECT_THROW(reader(longest + "a,1\r\n").readText(), ConversionError);
}

TEST(SequentialReader, JapaneseTextDecodesFromCp932) {
    auto in = reader("\"" + test::cp932("養護・理科室") + "\"," + test::cp932("管理") + "\r\n");
    EXPECT_EQ(in.readText(), "養護・理科室");
    EXPECT_EQ(in.readText(), "管理");
    EXPECT_TRUE(in.atEnd());
}

class StringFile : public OutputFile {
  public:
    const std::string& name() const override { return name_; }
    void write(std::string_view bytes) override { data.append(bytes); }
    void commit() override {}
    std::string data;

  private:
    std::string name_ = "memory";
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
