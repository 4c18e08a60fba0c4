#include "support/temp_dir.hpp"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kbnset::test {

namespace fs = std::filesystem;

namespace {
fs::path makeDirectory() {
    static std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        const fs::path path =
            fs::temp_directory_path() / ("kbnset-test-" + std::to_string(random()));
        if (fs::create_directory(path)) return fs::canonical(path);
    }
}
}  // namespace

TempDir::TempDir() : path_(makeDirectory()), previous_(fs::current_path()) {}

TempDir::~TempDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    // Tests make files read-only; give the write bits back so that removal succeeds.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
#ifdef _WIN32
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::str() const {
    return utf8Of(path_);
}

fs::path TempDir::operator/(std::string_view name) const {
    return path_ / pathOf(name);
}

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(utf8Of(entry.path().filename()));
    return names;
}

void writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write test file");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read test file");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace kbnset::test
