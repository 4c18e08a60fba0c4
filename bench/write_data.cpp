#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "bench_data.hpp"

// Puts a data set on disk for whole-process measurements: KUBUN.KMT, the same bytes as
// KUBUN.ORG to restore it between runs, and the reference table as E_KUBUN.KMT and
// J_KUBUN.KMT, so that the default two-pass run reads full tables twice.
int main(int argc, char** argv) {
    using namespace kbnset::bench;
    const DataSet sets[] = {DataSet::Realistic, DataSet::Worst, DataSet::Long};
    const DataSet* set = argc != 3 ? std::end(sets)
                                   : std::find_if(std::begin(sets), std::end(sets),
                                                  [&](DataSet s) { return nameOf(s) == argv[2]; });
    if (set == std::end(sets)) {
        std::fputs("usage: kbnset_bench_data DIR realistic|worst|long\n", stderr);
        return 2;
    }
    const kbnset::category::Tables tables = makeTables(*set);
    const std::string dir = argv[1];
    auto write = [&dir](const char* name, const std::string& bytes) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        out << bytes;
        out.close();
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name);
            return false;
        }
        return true;
    };
    const std::string category = categoryFileBytes(tables);
    const std::string reference = referenceFileBytes(tables);
    return write("KUBUN.KMT", category) && write("KUBUN.ORG", category) &&
                   write("E_KUBUN.KMT", reference) && write("J_KUBUN.KMT", reference)
               ? 0
               : 1;
}
