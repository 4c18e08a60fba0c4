#include "category/fingerprint.hpp"

// Header only: the Windows build takes the same header with nothing to link.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kbnset::category {

struct FingerprintBuilder::State {
    XXH3_state_t xxh;
};

FingerprintBuilder::FingerprintBuilder() : state_(std::make_unique<State>()) {
    XXH3_128bits_reset(&state_->xxh);
}

FingerprintBuilder::~FingerprintBuilder() = default;

void FingerprintBuilder::add(const char* bytes, std::size_t size) {
    XXH3_128bits_update(&state_->xxh, bytes, size);
    size_ += size;
}

Fingerprint FingerprintBuilder::result() const {
    const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh);
    return Fingerprint{size_, hash.low64, hash.high64};
}

}  // namespace kbnset::category
