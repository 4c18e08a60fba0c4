#include <cstddef>
#include <cstdint>
#include <string_view>

#include "category/load.hpp"
#include "fuzz_support.hpp"
#include "runtime/system.hpp"

// Arbitrary bytes as KUBUN.KMT, read by KBN_LOAD, and as a reference file, read by REF_LOAD.
namespace kbnset::fuzz {

namespace {

constexpr std::int32_t kCountBeforeCategory = 1234;
constexpr std::int32_t kCountBeforeReference = 4321;

int readBoth(std::string_view bytes) {
    static category::Tables tables;
    test::writeBytes(scratchDir() / category::kCategoryFile, bytes);
    RecordingUi ui;
    category::Context ctx{runtime::nativeSystem(), ui};

    tables.KBN_CNT = kCountBeforeCategory;
    category::LoadResult asCategory = category::KBN_LOAD(tables, scratchDir().str(), ctx);
    checkLoad(asCategory, ui, "備品区分ファイルの読込に失敗しました", kCountBeforeCategory,
              tables.KBN_CNT);
    if (asCategory == category::LoadResult::loaded)
        checkLoadedRecords(tables.KBN_TBL, tables.KBN_CNT);

    ui.clear();
    tables.REF_CNT = kCountBeforeReference;
    category::LoadResult asReference = category::REF_LOAD(
        tables, category::Selector::source, scratchDir().str(), category::kCategoryFile, ctx);
    checkLoad(asReference, ui, "基準ファイルの読込に失敗しました", kCountBeforeReference,
              tables.REF_CNT);
    if (asReference == category::LoadResult::loaded)
        checkLoadedRecords(tables.REF_TBL, tables.REF_CNT);

    // The reference header takes text where the category header needs numbers, and the
    // records are read alike: whatever loads as a category file loads as a reference file.
    if (asCategory == category::LoadResult::loaded) {
        require(asReference == category::LoadResult::loaded,
                "a category file that fails as a reference");
        require(tables.REF_CNT == tables.KBN_CNT, "the two loads count differently");
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
            auto at = static_cast<std::size_t>(i);
            require(sameValues(tables.REF_TBL[at], tables.KBN_TBL[at]),
                    "the two loads read differently");
        }
    }
    return 0;
}

}  // namespace

}  // namespace kbnset::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kbnset::fuzz::readBoth({reinterpret_cast<const char*>(data), size});
}
