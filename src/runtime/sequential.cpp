#include "runtime/sequential.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

#include "runtime/error.hpp"
#include "runtime/number.hpp"
#include "runtime/text.hpp"

namespace kbnset::runtime {

namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(int c) {
    return c == '\r' || c == '\n';
}

// The bytes that end an unquoted value, or make it a failure: a table, since every byte of
// every unquoted value is tested.
constexpr auto kStops = [] {
    std::array<bool, 256> stops{};
    for (char c : {',', '\r', '\n', '"'}) stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

}  // namespace

SequentialReader::SequentialReader(std::unique_ptr<InputFile> file) : file_(std::move(file)) {}

int SequentialReader::refill() {
    if (eof_) return kEnd;
    // A value held as a view of the buffer moves out before the buffer is overwritten.
    if (!held_.empty() && held_.data() >= buffer_.data() &&
        held_.data() < buffer_.data() + buffer_.size()) {
        value_.assign(held_);
        held_ = value_;
    }
    countLineEndsUpTo(buffer_.size());
    counted_ = 0;
    buffer_.resize(kChunk);
    std::size_t n = file_->read(buffer_.data(), buffer_.size());
    buffer_.resize(n);
    pos_ = 0;
    if (n == 0) {
        eof_ = true;
        return kEnd;
    }
    return static_cast<unsigned char>(buffer_[0]);
}

// LF and CR are counted apart, each by memchr, which steps over the bytes between line ends
// many at a time; a CR LF pair counts once.
void SequentialReader::countLineEndsUpTo(std::size_t end) {
    if (end <= counted_) return;
    const char* p = buffer_.data() + counted_;
    const char* const e = buffer_.data() + end;
    auto each = [p, e](char c, auto&& found) {
        for (const char* at = p; (at = static_cast<const char*>(std::memchr(
                                      at, c, static_cast<std::size_t>(e - at)))) != nullptr;)
            found(++at);
    };
    std::int64_t ends = 0;
    each('\n', [&ends](const char*) { ++ends; });
    if (afterCr_ && *p == '\n') --ends;
    each('\r', [&ends, e](const char* next) { ends += next == e || *next != '\n'; });
    afterCr_ = e[-1] == '\r';
    lineEnds_ += ends;
    counted_ = end;
}

std::int32_t SequentialReader::line() {
    countLineEndsUpTo(pos_);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(lineEnds_ + 1, std::numeric_limits<std::int32_t>::max()));
}

bool SequentialReader::atEnd() {
    while (isBlank(peek()) || isLineEnd(peek())) get();
    return peek() == kEnd;
}

// Moves the buffered bytes up to `end` into the value, refusing what passes the limit.
void SequentialReader::appendUpTo(std::size_t end) {
    if (value_.size() + (end - pos_) > kMaxValueBytes) throw ConversionError("value too long");
    value_.append(buffer_, pos_, end - pos_);
    pos_ = end;
}

// A value that lies whole in the buffer is taken as a view of it, up to `end`.
void SequentialReader::holdUpTo(std::size_t end) {
    if (end - pos_ > kMaxValueBytes) throw ConversionError("value too long");
    held_ = std::string_view(buffer_).substr(pos_, end - pos_);
    pos_ = end;
}

// The bytes of the next value, separator consumed; valid until the next call. The separators
// and the quote are ASCII and never occur as the second byte of a double-byte character, so
// this works on the undecoded bytes. Usually the value and its separator lie in the buffer
// and are taken in one scan; anything else (a refill, a failure) goes the careful way.
std::string_view SequentialReader::nextRaw() {
    if (pos_ == buffer_.size()) refill();
    const char* const begin = buffer_.data();
    const char* const end = begin + buffer_.size();
    const char* p = begin + pos_;
    while (p < end && isBlank(*p)) ++p;
    const char* value = p;
    const char* stop = nullptr;  // the value's end
    const char* separator = nullptr;
    const bool quoted = p < end && *p == '"';
    if (quoted) {
        value = p + 1;
        stop = static_cast<const char*>(
            std::memchr(value, '"', static_cast<std::size_t>(end - value)));
        if (stop != nullptr) {
            separator = stop + 1;
            while (separator < end && isBlank(*separator)) ++separator;
        }
    } else {
        stop = p;
        while (stop < end && !kStops[static_cast<unsigned char>(*stop)]) ++stop;
        separator = stop;
    }
    if (separator != nullptr && separator < end &&
        (*separator == ',' || *separator == '\n' || (*separator == '\r' && separator + 1 < end)) &&
        static_cast<std::size_t>(stop - value) <= kMaxValueBytes) {
        if (!quoted)
            while (stop > value && isBlank(stop[-1])) --stop;
        held_ = std::string_view(value, static_cast<std::size_t>(stop - value));
        pos_ = static_cast<std::size_t>(separator - begin) + 1;
        if (*separator == '\r' && separator[1] == '\n') ++pos_;
        return held_;
    }
    return gatherRaw();
}

std::string_view SequentialReader::gatherRaw() {
    if (peek() == kEnd) throw IoError("end of file inside a line", {}, 0);
    while (isBlank(peek())) get();
    value_.clear();
    held_ = {};

    auto endsValue = [](int c) { return c == ',' || isLineEnd(c) || c == kEnd; };
    if (peek() == '"') {
        get();
        if (peek() == kEnd) throw IoError("end of file inside quotes", {}, 0);
        if (const std::size_t quote = buffer_.find('"', pos_); quote != std::string::npos) {
            holdUpTo(quote);
        } else {
            for (;;) {
                if (peek() == kEnd) throw IoError("end of file inside quotes", {}, 0);
                const std::size_t end = buffer_.find('"', pos_);
                appendUpTo(end == std::string::npos ? buffer_.size() : end);
                if (end != std::string::npos) break;
            }
            held_ = value_;
        }
        get();
        while (isBlank(peek())) get();
        if (!endsValue(peek())) throw ConversionError("double quote inside a text value");
    } else {
        auto stopAfter = [this](std::size_t from) {
            while (from < buffer_.size() && !kStops[static_cast<unsigned char>(buffer_[from])])
                ++from;
            return from;
        };
        if (const std::size_t stop = stopAfter(pos_); stop < buffer_.size()) {
            holdUpTo(stop);
        } else {
            while (!endsValue(peek()) && peek() != '"') appendUpTo(stopAfter(pos_));
            held_ = value_;
        }
        if (peek() == '"') throw ConversionError("double quote inside a text value");
        while (!held_.empty() && isBlank(static_cast<unsigned char>(held_.back())))
            held_.remove_suffix(1);
    }

    int separator = get();
    if (separator == '\r' && peek() == '\n') get();
    return held_;
}

std::string SequentialReader::readText() {
    return fromAnsi(nextRaw());
}

// Decoded aside first, so that a value that fails leaves `out` as it was. The buffer only
// grows: no allocation and no zero-filling for a value once a longer one has been read.
void SequentialReader::readText(std::string& out) {
    const std::string_view raw = nextRaw();
    if (decoded_.size() < kFromAnsiRoom * raw.size()) decoded_.resize(kFromAnsiRoom * raw.size());
    const char* end = fromAnsi(raw, decoded_.data());
    out.assign(decoded_.data(), static_cast<std::size_t>(end - decoded_.data()));
}

// Validated by decoding into the room kept for that, which is then thrown away.
std::string_view SequentialReader::readBytes() {
    const std::string_view raw = nextRaw();
    if (decoded_.size() < kFromAnsiRoom * raw.size()) decoded_.resize(kFromAnsiRoom * raw.size());
    fromAnsi(raw, decoded_.data());
    return raw;
}

std::string_view SequentialReader::readBytes(std::string& decoded) {
    const std::string_view raw = nextRaw();
    if (decoded_.size() < kFromAnsiRoom * raw.size()) decoded_.resize(kFromAnsiRoom * raw.size());
    const char* end = fromAnsi(raw, decoded_.data());
    decoded.assign(decoded_.data(), static_cast<std::size_t>(end - decoded_.data()));
    return raw;
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

// The line is put together in a buffer that only grows, sized first for the most that the
// values can take.
void SequentialWriter::writeLine(std::initializer_list<Value> values) {
    constexpr std::size_t kNumberRoom = 12;  // "-2147483648" and a comma
    std::size_t room = 2;                    // CR LF
    for (const Value& value : values) {
        if (const auto* text = std::get_if<std::string_view>(&value))
            room += kToAnsiRoom * text->size() + 3;
        else if (const auto* bytes = std::get_if<Bytes>(&value))
            room += bytes->bytes.size() + 3;
        else
            room += kNumberRoom;
    }
    if (line_.size() < room) line_.resize(room);
    char* const begin = line_.data();
    char* p = begin;
    for (const Value& value : values) {
        if (p != begin) *p++ = ',';
        if (const auto* text = std::get_if<std::string_view>(&value)) {
            *p++ = '"';
            p = toAnsi(*text, p);
            *p++ = '"';
        } else if (const auto* bytes = std::get_if<Bytes>(&value)) {
            *p++ = '"';
            p = std::copy(bytes->bytes.begin(), bytes->bytes.end(), p);
            *p++ = '"';
        } else {
            p = std::to_chars(p, begin + room, std::get<std::int32_t>(value)).ptr;
        }
    }
    *p++ = '\r';
    *p++ = '\n';
    file_.write(std::string_view(begin, static_cast<std::size_t>(p - begin)));
}

}  // namespace kbnset::runtime
