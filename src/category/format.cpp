#include "category/format.hpp"

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
constexpr char kManagementType[] = "管理";
}  // namespace

// The classification is the tenth value on disk, though it sits beside KBN_KEY2 in memory.
void readRecord(runtime::SequentialReader& in, KBN_REC& record, bool keepBytes) {
    FileBytes& bytes = record.bytes;
    bytes.kept = keepBytes;
    auto keep = [keepBytes](std::string& to, std::string_view from) {
        if (keepBytes)
            to.assign(from);
        else
            to.clear();
    };
    thread_local std::string type;
    keep(bytes.type, in.readBytes(type));
    record.REC_KIND = type == kManagementType ? RecordKind::management : RecordKind::ordinary;
    record.VAL_2 = in.readInteger();
    keep(bytes.name, in.readBytes(record.KBN_NAME));
    keep(bytes.code, in.readBytes(record.KBN_CODE));
    keep(bytes.key2, in.readBytes(record.KBN_KEY2));
    record.VAL_6 = in.readLong();
    keep(bytes.val7, in.readBytes());
    record.VAL_8 = in.readLong();
    record.VAL_9 = in.readLong();
    keep(bytes.cls, in.readBytes(record.KBN_CLASS));
    in.readBytes();
    in.readLong();
    in.readLong();
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
    const Value code =
        r.codeAsRead.empty() ? Value(Bytes{b.code}) : Value(std::string_view(r.KBN_CODE));
    const Value cls = b.cls.empty() && !r.KBN_CLASS.empty() ? Value(std::string_view(r.KBN_CLASS))
                                                            : Value(Bytes{b.cls});
    out.writeLine({Bytes{b.type}, r.VAL_2, Bytes{b.name}, code, Bytes{b.key2}, r.VAL_6,
                   Bytes{b.val7}, r.VAL_8, r.VAL_9, cls, "", 0, 0});
}

}  // namespace kbnset::category
