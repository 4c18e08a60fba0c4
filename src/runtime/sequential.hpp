#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/system.hpp"

// Sequential text files of comma-separated values in the ANSI code page, read value by
// value and written line by line. The syntax is that of the category files and of the
// suite's settings file.
namespace kbnset::runtime {

// Reading. A value ends at a comma or at a line end (CR LF, or a lone CR or LF), which is
// consumed with it. A text value may be enclosed in double quotes; a comma inside them
// belongs to the value. Input the suite never writes is handled so:
//  - an unquoted text is taken up to the separator, blanks around it trimmed;
//  - a double quote anywhere but as the enclosing quotes, bytes that are not valid in the
//    code page, NUL, and a value longer than kMaxValueBytes are failures of that value;
//  - a number value is an optionally signed run of digits, blanks around it allowed; an
//    empty or other value is a failure (ConversionError), one out of range OverflowError;
//  - a blank line inside the file is an empty value; blank lines and blanks after the last
//    value do not count, so atEnd() is true there.
// Reaching the end of the file while reading a value that has not begun is an IoError.
class SequentialReader {
  public:
    static constexpr std::size_t kMaxValueBytes = 4096;

    explicit SequentialReader(std::unique_ptr<InputFile> file);

    bool atEnd();
    std::string readText();
    // The same into `out`, whose capacity is reused; `out` is unchanged on failure.
    void readText(std::string& out);
    std::int16_t readInteger();
    std::int32_t readLong();
    // The line, as an editor counts it, of the next byte to be read (1 for the first; a line
    // ends at CR LF, a lone CR or a lone LF). Each byte is counted once, however often asked.
    std::int32_t line();

  private:
    static constexpr int kEnd = -1;

    int peek() {
        return pos_ < buffer_.size() ? static_cast<unsigned char>(buffer_[pos_]) : refill();
    }
    int get() {
        int c = peek();
        if (c != kEnd) ++pos_;
        return c;
    }
    int refill();
    void countLineEndsUpTo(std::size_t end);
    void appendUpTo(std::size_t end);
    void holdUpTo(std::size_t end);
    std::string_view nextRaw();
    std::string_view gatherRaw();

    std::unique_ptr<InputFile> file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    std::int64_t lineEnds_ = 0;  // line ends in the bytes before buffer_[counted_]
    std::size_t counted_ = 0;
    bool afterCr_ = false;  // the byte before buffer_[counted_] is a CR
    bool eof_ = false;
    std::string value_;      // a value gathered over refills; kept to save allocations
    std::string_view held_;  // the last value: a view of buffer_ or of value_
    std::string decoded_;    // room for the last text value, decoded
};

// Writing: texts in double quotes with nothing escaped, numbers in plain decimal, values
// joined by commas, CR LF after every line.
class SequentialWriter {
  public:
    using Value = std::variant<std::string_view, std::int32_t>;

    explicit SequentialWriter(OutputFile& file) : file_(file) {}
    void writeLine(std::initializer_list<Value> values);

  private:
    OutputFile& file_;
    std::string line_;  // room for the line being written
};

}  // namespace kbnset::runtime
