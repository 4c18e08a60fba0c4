#include "update/report_csv.hpp"

#include <string_view>

namespace kbnset::update {

namespace {

// A field in quotes when it holds a separator, a quote or a line end; a quote is doubled.
// A text that a spreadsheet would take for a formula gets a leading apostrophe, which Excel
// shows as text and does not run: the names come from files anyone may have written.
void field(std::string& row, std::string_view value) {
    const bool formula =
        !value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos;
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        if (formula) row += '\'';
        row += value;
        return;
    }
    row += '"';
    if (formula) row += '\'';
    for (char c : value) {
        if (c == '"') row += '"';
        row += c;
    }
    row += '"';
}

std::string_view whatText(Change::What what) {
    switch (what) {
        case Change::What::classification:
            return "分類";
        case Change::What::code:
            return "区分コード";
        case Change::What::stillEmpty:
            break;
    }
    return "分類が空のまま";
}

}  // namespace

std::string reportHeader() {
    return "データフォルダ,行,区分名,教科など,変更,変更前,変更後,基準ファイル\r\n";
}

std::string reportRows(const std::vector<Change>& changes) {
    std::string rows;
    for (const Change& c : changes) {
        field(rows, c.dataDir);
        rows += ',' + std::to_string(c.line) + ',';
        field(rows, c.name);
        rows += ',';
        field(rows, c.key2);
        rows += ',';
        field(rows, whatText(c.what));
        rows += ',';
        field(rows, c.before);
        rows += ',';
        field(rows, c.after);
        rows += ',';
        field(rows, c.referenceFile);
        rows += "\r\n";
    }
    return rows;
}

}  // namespace kbnset::update
