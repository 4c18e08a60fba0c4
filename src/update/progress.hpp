#pragma once

#include <cstdint>
#include <string>

namespace kbnset::update {

// The merge's progress as every front end shows it: "k/N".
inline std::string progressText(std::int32_t done, std::int32_t total) {
    return std::to_string(done) + "/" + std::to_string(total);
}

}  // namespace kbnset::update
