#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "category/load.hpp"
#include "category/save.hpp"
#include "fuzz_support.hpp"
#include "runtime/system.hpp"
#include "support/scan_merge.hpp"
#include "update/merge.hpp"

// One pass on fuzzed files: the input up to its first NUL byte is the reference file, the
// rest KUBUN.KMT (a file the suite wrote never holds NUL). REF_LOAD, KBN_LOAD, KBN_MERGE,
// KBN_SAVE; then the saved file must load back into the same values, and the merge must
// agree with a plain scan of the reference table.
namespace kbnset::fuzz {

namespace {

using category::KBN_REC;

constexpr char kReferenceName[] = "REF_KUBUN.KMT";
constexpr std::int32_t kCountBefore = 1234;

int onePass(std::string_view input) {
    static category::Tables tables;
    static category::Tables reread;
    const std::string dir = scratchDir().str();

    std::size_t split = input.find('\0');
    std::string_view reference = input.substr(0, split);
    std::string_view destination =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    test::writeBytes(scratchDir() / kReferenceName, reference);
    test::writeBytes(scratchDir() / category::kCategoryFile, destination);

    RecordingUi ui;
    category::Context ctx{runtime::nativeSystem(), ui};
    tables.REF_CNT = kCountBefore;
    category::LoadResult result =
        category::REF_LOAD(tables, category::Selector::source, dir, kReferenceName, ctx);
    checkLoad(result, ui, "基準ファイルの読込に失敗しました", kCountBefore, tables.REF_CNT);
    if (result != category::LoadResult::loaded) return 0;

    ui.clear();
    tables.KBN_CNT = kCountBefore;
    result = category::KBN_LOAD(tables, dir, ctx);
    checkLoad(result, ui, "備品区分ファイルの読込に失敗しました", kCountBefore, tables.KBN_CNT);
    if (result != category::LoadResult::loaded) return 0;
    const std::int32_t count = tables.KBN_CNT;
    const auto end = tables.KBN_TBL.begin() + count;

    std::vector<KBN_REC> expected(tables.KBN_TBL.begin(), end);
    const std::int32_t expectedFilled = test::scanMerge(
        expected, {tables.REF_TBL.data(), static_cast<std::size_t>(tables.REF_CNT)});
    ui.clear();
    const update::StopFlag STOP_FLG = update::StopFlag::none;
    const std::int32_t filled = update::KBN_MERGE(tables, STOP_FLG, ui);
    require(std::equal(expected.begin(), expected.end(), tables.KBN_TBL.begin()),
            "the merge and a plain scan fill differently");
    require(filled == expectedFilled, "the merge miscounts what it filled");
    require(ui.messages.empty(), "the merge showed a message");
    require(ui.progressed.size() == static_cast<std::size_t>(count) && ui.yields == count,
            "not one progress and yield a record");
    require(count == 0 || ui.progressed.back() == update::progressText(count, count),
            "the last progress is not N/N");

    ui.clear();
    category::KBN_SAVE(tables, dir, ctx);
    require(ui.messages.empty() && !ui.busy, "the save of a loaded table failed");

    reread.KBN_CNT = kCountBefore;
    result = category::KBN_LOAD(reread, dir, ctx);
    require(result == category::LoadResult::loaded && ui.messages.empty(),
            "the saved file does not load");
    require(reread.KBN_CNT == count, "the saved file loads another number of records");
    require(reread.HEAD_1 == tables.HEAD_1 && reread.HEAD_2 == tables.HEAD_2,
            "the saved file loads other header values");
    require(std::equal(tables.KBN_TBL.begin(), end, reread.KBN_TBL.begin(), sameValues),
            "the saved file loads other record values");
    return 0;
}

}  // namespace

}  // namespace kbnset::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kbnset::fuzz::onePass({reinterpret_cast<const char*>(data), size});
}
