#include "fuzz_support.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "category/code_no.hpp"
#include "category/load.hpp"
#include "runtime/text.hpp"

namespace kbnset::fuzz {

void fail(std::string_view rule) {
    std::fprintf(stderr, "kbnset fuzz: rule broken: %.*s\n", static_cast<int>(rule.size()),
                 rule.data());
    std::abort();
}

const test::TempDir& scratchDir() {
    static const test::TempDir dir;
    return dir;
}

void checkLoad(category::LoadResult result, const RecordingUi& ui, std::string_view failureText,
               std::int32_t countBefore, std::int32_t countAfter) {
    require(!ui.busy, "the hourglass pointer outlives the load");
    if (result == category::LoadResult::loaded) {
        require(ui.messages.empty(), "a successful load showed a message");
        require(countAfter >= 0 && countAfter <= category::kTableCapacity,
                "a count outside the table");
        return;
    }
    require(result == category::LoadResult::readFailed,
            "a load of an existing file gave neither 1 nor -1");
    require(ui.messages.size() == 1, "a failed load showed other than exactly one message");
    require(countAfter == countBefore, "a failed load changed its count");

    // failureText "(" record number ")", the number 0 to 5011.
    std::string_view message = ui.messages.front();
    require(message.starts_with(failureText) && message.ends_with(")"),
            "a read failure with the wrong text");
    std::string_view inner = message.substr(failureText.size());
    require(inner.size() >= 3 && inner.front() == '(', "a read failure without its record number");
    inner = inner.substr(1, inner.size() - 2);
    std::int32_t number = -2;
    auto [end, error] = std::from_chars(inner.data(), inner.data() + inner.size(), number);
    require(error == std::errc() && end == inner.data() + inner.size() && number >= 0 &&
                number <= category::kTableCapacity,
            "a read failure whose record number is not 0 to 5011");
}

void checkLoadedRecords(const std::vector<category::KBN_REC>& table, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        const category::KBN_REC& r = table[static_cast<std::size_t>(i)];
        if (r.bytes.kept)
            require(r.REC_KIND == (runtime::fromAnsi(r.bytes[category::FileBytes::type]) == "管理"
                                       ? category::RecordKind::management
                                       : category::RecordKind::ordinary),
                    "REC_KIND does not follow KBN_TYPE");
        require(r.CODE_NUM != -1, "a loaded record holds the code number -1");
        require(category::CODE_NO(r.KBN_CODE) == r.CODE_NUM, "CODE_NUM is not the code's number");
    }
}

}  // namespace kbnset::fuzz
