#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "runtime/paths.hpp"

namespace kbnset::test {

// A fresh directory for one test, removed with everything in it afterwards. The current
// directory is restored too, since the steps under test switch it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // UTF-8 text of the path, as the program's steps take it.
    std::string str() const;
    std::filesystem::path operator/(std::string_view name) const;

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

using runtime::pathOf;
using runtime::utf8Of;
// A folder's names.
std::set<std::string> namesIn(const std::filesystem::path& dir);

// Raw bytes in and out, for checking exactly what is on disk.
void writeBytes(const std::filesystem::path& file, std::string_view bytes);
std::string readBytes(const std::filesystem::path& file);

}  // namespace kbnset::test
