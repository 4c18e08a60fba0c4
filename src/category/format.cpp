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

// The classification is the tenth value on disk, though it sits beside KBN_KEY2 in memory.
void readRecord(runtime::SequentialReader& in, KBN_REC& record) {
    in.readText(record.KBN_TYPE);
    record.VAL_2 = in.readInteger();
    in.readText(record.KBN_NAME);
    in.readText(record.KBN_CODE);
    in.readText(record.KBN_KEY2);
    record.VAL_6 = in.readLong();
    in.readText(record.VAL_7);
    record.VAL_8 = in.readLong();
    record.VAL_9 = in.readLong();
    in.readText(record.KBN_CLASS);
    in.readText();
    in.readLong();
    in.readLong();
}

void writeHeader(runtime::SequentialWriter& out, const Header& header) {
    out.writeLine({header.HEAD_1, header.HEAD_2, 0, "", "", ""});
}

void writeRecord(runtime::SequentialWriter& out, const KBN_REC& r) {
    out.writeLine({r.KBN_TYPE, r.VAL_2, r.KBN_NAME, r.KBN_CODE, r.KBN_KEY2, r.VAL_6, r.VAL_7,
                   r.VAL_8, r.VAL_9, r.KBN_CLASS, "", 0, 0});
}

}  // namespace kbnset::category
