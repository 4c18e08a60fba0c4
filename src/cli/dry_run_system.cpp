#include "cli/dry_run_system.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/error.hpp"
#include "runtime/paths.hpp"

namespace kbnset::cli {

namespace {

class MemoryInputFile final : public runtime::InputFile {
  public:
    explicit MemoryInputFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t n = std::min(size, bytes_.size() - pos_);
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }

  private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

class MemoryOutputFile final : public runtime::OutputFile {
  public:
    MemoryOutputFile(std::string name, std::shared_ptr<DryRunSystem::Pending> pending)
        : name_(std::move(name)), pending_(std::move(pending)) {}
    const std::string& name() const override { return name_; }
    void write(std::string_view bytes) override {
        if (pending_->committed) throw runtime::IoError("already committed", name_, 0);
        pending_->bytes.append(bytes);
    }
    void commit() override { pending_->committed = true; }

  private:
    std::string name_;
    std::shared_ptr<DryRunSystem::Pending> pending_;
};

// Windows file names do not tell case apart; the save and the next load may spell a path
// differently.
std::string keyOf(std::string key) {
#ifdef _WIN32
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
#endif
    return key;
}

}  // namespace

// Symbolic links are resolved as far as the path exists, so that the save's name and the
// next load's name for the same file meet under one key.
std::string DryRunSystem::keyFor(std::string_view name) {
    return keyOf(real().fullPath(name));
}

bool DryRunSystem::isOrdinaryFile(std::string_view name) {
    if (saved_.contains(keyFor(name))) return true;
    return real().isOrdinaryFile(name);
}

std::unique_ptr<runtime::InputFile> DryRunSystem::openRead(std::string_view name) {
    auto it = saved_.find(keyFor(name));
    if (it != saved_.end()) return std::make_unique<MemoryInputFile>(it->second);
    return real().openRead(name);
}

std::unique_ptr<runtime::OutputFile> DryRunSystem::createTemporary(std::string_view target) {
    const std::string path = real().fullPath(target);
    // The real one fails here too: the temporary file goes into the target's directory.
    if (!real().isDirectory(runtime::utf8Of(runtime::pathOf(path).parent_path())))
        throw runtime::IoError("no folder for", target, ENOENT);
    std::string name = path + ".dry-run-" + std::to_string(++temporaries_);
    auto pending = std::make_shared<Pending>();
    pending_[name] = pending;
    return std::make_unique<MemoryOutputFile>(name, pending);
}

void DryRunSystem::replace(std::string_view temporary, std::string_view target,
                           std::string_view backup, const runtime::ReplaceCheck& check) {
    auto it = pending_.find(std::string(temporary));
    if (it == pending_.end() || !it->second->committed)
        throw runtime::IoError("not a committed temporary file", temporary, 0);
    const std::string path = real().fullPath(target);
    const std::string key = keyOf(path);
    // What the real replace refuses, so that a dry run reports the same failure.
    if (!saved_.contains(key)) real().checkReplaceable(path);
    if (isOrdinaryFile(path)) {
        if (!check(*openRead(path)))
            throw runtime::ChangedError("changed since it was loaded", target, 0);
        if (!backup.empty()) saved_[keyFor(backup)] = readAll(path);
    }
    saved_[key] = std::move(it->second->bytes);
    pending_.erase(it);
}

void DryRunSystem::exchange(std::string_view first, std::string_view second) {
    std::string a = readAll(first), b = readAll(second);
    saved_[keyFor(first)] = std::move(b);
    saved_[keyFor(second)] = std::move(a);
}

std::string DryRunSystem::readAll(std::string_view name) {
    auto file = openRead(name);
    std::string bytes;
    char chunk[16 * 1024];
    while (std::size_t n = file->read(chunk, sizeof chunk)) bytes.append(chunk, n);
    return bytes;
}

void DryRunSystem::removeFile(std::string_view name) noexcept {
    // Only the in-memory temporary files: a dry run never removes anything from the disk.
    try {
        pending_.erase(std::string(name));
    } catch (...) {
    }
}

const std::string* DryRunSystem::saved(std::string_view name) {
    auto it = saved_.find(keyFor(name));
    return it == saved_.end() ? nullptr : &it->second;
}

}  // namespace kbnset::cli
