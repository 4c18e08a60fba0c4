#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_data.hpp"
#include "runtime/system.hpp"
#include "support/temp_dir.hpp"
#include "update/run.hpp"

// update::run on real files: reference load, category load, merge and save, one pass with
// the reference file given as the source file.
namespace kbnset::bench {

namespace {

constexpr char kReferenceName[] = "REF_KUBUN.KMT";

void BM_Run(benchmark::State& state, DataSet set) {
    test::TempDir dir;
    const category::Tables tables = makeTables(set);
    const std::string original = categoryFileBytes(tables);
    test::writeBytes(dir.path() / kReferenceName, referenceFileBytes(tables));

    update::Session session;
    session.START_DIR = dir.str();
    session.DATA_DIR = dir.str();
    NullUi ui;
    for ([[maybe_unused]] auto _ : state) {
        // Every run starts from the file as it was: the save has filled it.
        state.PauseTiming();
        test::writeBytes(dir.path() / "KUBUN.KMT", original);
        state.ResumeTiming();
        update::RunReport report =
            update::run(session, kReferenceName, runtime::nativeSystem(), ui);
        if (!report.completed || ui.messages != 0) {
            state.SkipWithError("the run did not complete without a message");
            break;
        }
        state.counters["filled"] = report.passes.back().filled;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(original.size()));
}

BENCHMARK_CAPTURE(BM_Run, realistic, DataSet::Realistic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, worst, DataSet::Worst)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace kbnset::bench
