#include "category/save.hpp"

#include <exception>
#include <memory>

#include "category/format.hpp"
#include "runtime/sequential.hpp"

namespace kbnset::category {

namespace {
constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";
}  // namespace

// The table goes to a temporary file beside KUBUN.KMT, which then replaces it in one step:
// a failure or a crash at any point leaves the old file whole.
bool KBN_SAVE(const Tables& tables, const std::string& DATA_DIR, Context ctx) {
    std::string temporary;
    try {
        switchTo(ctx.system, DATA_DIR);
        BusyPointer busy(ctx.ui);
        std::unique_ptr<runtime::OutputFile> file = ctx.system.createTemporary(kCategoryFile);
        temporary = file->name();
        runtime::SequentialWriter out(*file);
        writeHeader(out, Header{tables.HEAD_1, tables.HEAD_2});
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i)
            writeRecord(out, tables.KBN_TBL[static_cast<std::size_t>(i)]);
        file->commit();
        ctx.system.replace(temporary, kCategoryFile);
        return true;
    } catch (const std::exception&) {
        // Unwinding has closed the file and restored the pointer.
        if (!temporary.empty()) ctx.system.removeFile(temporary);
        ctx.ui.showMessage(kSaveFailed);
        return false;
    }
}

}  // namespace kbnset::category
