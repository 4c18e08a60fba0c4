#include "runtime/sequential.hpp"

#include <limits>
#include <utility>

#include "runtime/error.hpp"
#include "runtime/text.hpp"

namespace kbnset::runtime {

namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;
constexpr int kEnd = -1;

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(int c) {
    return c == '\r' || c == '\n';
}
bool endsValue(int c) {
    return c == ',' || isLineEnd(c) || c == kEnd;
}

}  // namespace

SequentialReader::SequentialReader(std::unique_ptr<InputFile> file) : file_(std::move(file)) {}

int SequentialReader::peek() {
    if (pos_ == buffer_.size()) {
        if (eof_) return kEnd;
        buffer_.resize(kChunk);
        std::size_t n = file_->read(buffer_.data(), buffer_.size());
        buffer_.resize(n);
        pos_ = 0;
        if (n == 0) {
            eof_ = true;
            return kEnd;
        }
    }
    return static_cast<unsigned char>(buffer_[pos_]);
}

int SequentialReader::get() {
    int c = peek();
    if (c != kEnd) ++pos_;
    return c;
}

bool SequentialReader::atEnd() {
    while (isBlank(peek()) || isLineEnd(peek())) get();
    return peek() == kEnd;
}

// The bytes of the next value, separator consumed. The separators and the quote are ASCII
// and never occur as the second byte of a double-byte character, so this works on the
// undecoded bytes.
std::string SequentialReader::nextRaw() {
    if (peek() == kEnd) throw IoError("end of file inside a line");
    while (isBlank(peek())) get();

    std::string value;
    auto append = [&value](int c) {
        if (value.size() == kMaxValueBytes) throw ConversionError("value too long");
        value.push_back(static_cast<char>(c));
    };

    if (peek() == '"') {
        get();
        for (int c = get(); c != '"'; c = get()) {
            if (c == kEnd) throw IoError("end of file inside quotes");
            append(c);
        }
        while (isBlank(peek())) get();
        if (!endsValue(peek())) throw ConversionError("double quote inside a text value");
    } else {
        while (!endsValue(peek())) {
            int c = get();
            if (c == '"') throw ConversionError("double quote inside a text value");
            append(c);
        }
        while (!value.empty() && isBlank(static_cast<unsigned char>(value.back())))
            value.pop_back();
    }

    int separator = get();
    if (separator == '\r' && peek() == '\n') get();
    return value;
}

std::string SequentialReader::readText() {
    return fromAnsi(nextRaw());
}

std::int32_t SequentialReader::readLong() {
    return toLong(nextRaw());
}

std::int16_t SequentialReader::readInteger() {
    std::int32_t value = readLong();
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        throw OverflowError("number out of range of Integer");
    return static_cast<std::int16_t>(value);
}

void SequentialWriter::writeLine(std::initializer_list<Value> values) {
    std::string line;
    bool first = true;
    for (const Value& value : values) {
        if (!first) line += ',';
        first = false;
        if (const auto* text = std::get_if<std::string_view>(&value)) {
            line += '"';
            line += toAnsi(*text);
            line += '"';
        } else {
            line += std::to_string(std::get<std::int32_t>(value));
        }
    }
    line += "\r\n";
    file_.write(line);
}

}  // namespace kbnset::runtime
