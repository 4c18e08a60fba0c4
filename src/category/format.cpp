#include "category/format.hpp"

#include <string>
#include <string_view>

namespace kbnset::category {

Header readCategoryHeader(runtime::SequentialReader& in) {
    Header header;
    header.HEAD_1 = in.readInteger();
    header.HEAD_2 = in.readLong();
    in.readLong();
    in.readText();
    in.readText();
    in.readText();
    return header;
}

void readReferenceHeader(runtime::SequentialReader& in) {
    in.readText();
    in.readText();
    in.readLong();
    in.readText();
    in.readText();
    in.readText();
}

namespace {
// "管理" in the code page's bytes. Its two characters have one code each, so the type's bytes
// are compared as they are, and the type is never decoded.
constexpr std::string_view kManagementType = "\x8A\xC7\x97\x9D";
}  // namespace

// The classification is the tenth value on disk, though it sits beside KBN_KEY2 in memory.
void readRecord(runtime::SequentialReader& in, KBN_REC& record, bool keepBytes) {
    FileBytes& bytes = record.bytes;
    bytes.kept = keepBytes;
    // Gathered aside and then copied once, so that the kept bytes cost two allocations at most,
    // and none once the entry has held as long a record.
    thread_local std::string gathered;
    gathered.clear();
    auto keep = [&](FileBytes::Value v, std::string_view raw) {
        if (!keepBytes) return;
        gathered.append(raw);
        bytes.ends[v] = static_cast<std::uint32_t>(gathered.size());
    };
    const std::string_view type = in.readBytes();
    record.REC_KIND = type == kManagementType ? RecordKind::management : RecordKind::ordinary;
    keep(FileBytes::type, type);
    record.VAL_2 = in.readInteger();
    keep(FileBytes::name, in.readBytes(record.KBN_NAME));
    keep(FileBytes::code, in.readBytes(record.KBN_CODE));
    keep(FileBytes::key2, in.readBytes(record.KBN_KEY2));
    record.VAL_6 = in.readLong();
    keep(FileBytes::val7, in.readBytes());
    record.VAL_8 = in.readLong();
    record.VAL_9 = in.readLong();
    const std::string_view cls = in.readBytes(record.KBN_CLASS);
    bytes.cls.assign(keepBytes ? cls : std::string_view());  // before the next read moves it
    in.readBytes();
    in.readLong();
    in.readLong();
    bytes.values.assign(gathered);
}

void writeHeader(runtime::SequentialWriter& out, const Header& header) {
    out.writeLine({header.HEAD_1, header.HEAD_2, 0, "", "", ""});
}

void writeRecord(runtime::SequentialWriter& out, const KBN_REC& r) {
    using Value = runtime::SequentialWriter::Value;
    using Bytes = runtime::SequentialWriter::Bytes;
    const FileBytes& b = r.bytes;
    if (!b.kept) {
        out.writeLine({"", r.VAL_2, r.KBN_NAME, r.KBN_CODE, r.KBN_KEY2, r.VAL_6, "", r.VAL_8,
                       r.VAL_9, r.KBN_CLASS, "", 0, 0});
        return;
    }
    const Value code = r.codeAsRead.empty() ? Value(Bytes{b[FileBytes::code]})
                                            : Value(std::string_view(r.KBN_CODE));
    const Value cls = b.cls.empty() && !r.KBN_CLASS.empty() ? Value(std::string_view(r.KBN_CLASS))
                                                            : Value(Bytes{b.cls});
    out.writeLine({Bytes{b[FileBytes::type]}, r.VAL_2, Bytes{b[FileBytes::name]}, code,
                   Bytes{b[FileBytes::key2]}, r.VAL_6, Bytes{b[FileBytes::val7]}, r.VAL_8, r.VAL_9,
                   cls, "", 0, 0});
}

}  // namespace kbnset::category
