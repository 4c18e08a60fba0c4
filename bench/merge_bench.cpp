#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_data.hpp"
#include "support/scan_merge.hpp"
#include "update/merge.hpp"

// KBN_MERGE on full tables against the plain table-order scan that it replaces.
namespace kbnset::bench {

namespace {

// The destination table is restored outside the timed part: the merge fills it in place.
template <typename Merge>
void measureMerge(benchmark::State& state, DataSet set, Merge merge) {
    const category::Tables original = makeTables(set);
    category::Tables tables = original;
    NullUi ui;
    std::int32_t filled = 0;
    for ([[maybe_unused]] auto _ : state) {
        state.PauseTiming();
        tables.KBN_TBL = original.KBN_TBL;
        state.ResumeTiming();
        filled = merge(tables, ui);
        benchmark::DoNotOptimize(filled);
    }
    state.counters["filled"] = filled;
}

// The figures mean something only if both fill the table alike.
bool sameAsBaseline(DataSet set) {
    category::Tables indexed = makeTables(set);
    category::Tables scanned = indexed;
    NullUi ui;
    const update::StopFlag STOP_FLG = update::StopFlag::none;
    update::KBN_MERGE(indexed, STOP_FLG, ui);
    test::scanMerge(scanned, &ui);
    return indexed.KBN_TBL == scanned.KBN_TBL;
}

void BM_KBN_MERGE(benchmark::State& state, DataSet set) {
    if (!sameAsBaseline(set)) {
        state.SkipWithError("KBN_MERGE and the baseline scan fill differently");
        return;
    }
    const update::StopFlag STOP_FLG = update::StopFlag::none;
    measureMerge(state, set, [&STOP_FLG](category::Tables& t, update::UserInterface& ui) {
        return update::KBN_MERGE(t, STOP_FLG, ui);
    });
}

void BM_BaselineScanMerge(benchmark::State& state, DataSet set) {
    measureMerge(state, set, [](category::Tables& t, update::UserInterface& ui) {
        return test::scanMerge(t, &ui);
    });
}

BENCHMARK_CAPTURE(BM_KBN_MERGE, realistic, DataSet::Realistic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KBN_MERGE, worst, DataSet::Worst)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BaselineScanMerge, realistic, DataSet::Realistic)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BaselineScanMerge, worst, DataSet::Worst)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace kbnset::bench
