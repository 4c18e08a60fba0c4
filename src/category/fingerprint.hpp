#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A 128-bit fingerprint of a file's bytes (xxHash's XXH3), so that the save can tell whether
// KUBUN.KMT still holds what the load read without keeping a copy of it.
namespace kbnset::category {

struct Fingerprint {
    std::uint64_t size = 0;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

class FingerprintBuilder {
  public:
    FingerprintBuilder();
    ~FingerprintBuilder();
    FingerprintBuilder(const FingerprintBuilder&) = delete;
    FingerprintBuilder& operator=(const FingerprintBuilder&) = delete;

    void add(const char* bytes, std::size_t size);
    Fingerprint result() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::uint64_t size_ = 0;
};

}  // namespace kbnset::category
