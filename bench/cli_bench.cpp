#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_data.hpp"
#include "support/temp_dir.hpp"

// The whole console program, process start to exit: the default two passes over full
// tables (E_KUBUN.KMT and J_KUBUN.KMT both hold the reference table).
namespace kbnset::bench {

namespace {

int runCli(const std::string& dir) {
    std::vector<std::string> args = {KBNSET_CLI, "--data-dir", dir, "--start-dir", dir};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

void BM_Cli(benchmark::State& state, DataSet set) {
    test::TempDir dir;
    const category::Tables tables = makeTables(set);
    const std::string original = categoryFileBytes(tables);
    test::writeBytes(dir.path() / "E_KUBUN.KMT", referenceFileBytes(tables));
    test::writeBytes(dir.path() / "J_KUBUN.KMT", referenceFileBytes(tables));
    for ([[maybe_unused]] auto _ : state) {
        state.PauseTiming();
        test::writeBytes(dir.path() / "KUBUN.KMT", original);
        state.ResumeTiming();
        if (runCli(dir.str()) != 0) {
            state.SkipWithError("kbnset-cli did not end with status 0");
            break;
        }
    }
}

BENCHMARK_CAPTURE(BM_Cli, realistic, DataSet::Realistic)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Cli, worst, DataSet::Worst)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

}  // namespace kbnset::bench
