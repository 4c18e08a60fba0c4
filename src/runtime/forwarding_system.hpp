#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/system.hpp"

namespace kbnset::runtime {

// A System that hands every call to another one: a wrapper derives from it and overrides only
// what it changes.
class ForwardingSystem : public System {
  public:
    explicit ForwardingSystem(System& real) : real_(real) {}

    std::string currentDirectory() override { return real_.currentDirectory(); }
    void changeDrive(std::string_view path) override { real_.changeDrive(path); }
    void changeDirectory(std::string_view path) override { real_.changeDirectory(path); }
    bool isOrdinaryFile(std::string_view name) override { return real_.isOrdinaryFile(name); }
    std::unique_ptr<InputFile> openRead(std::string_view name) override {
        return real_.openRead(name);
    }
    std::string resolve(std::string_view name) override { return real_.resolve(name); }
    std::string userStateDirectory() override { return real_.userStateDirectory(); }
    std::unique_ptr<FileLock> lockFile(std::string_view directory, std::string_view file,
                                       std::chrono::milliseconds patience) override {
        return real_.lockFile(directory, file, patience);
    }
    std::unique_ptr<OutputFile> createTemporary(std::string_view target) override {
        return real_.createTemporary(target);
    }
    void replace(std::string_view temporary, std::string_view target, std::string_view backup,
                 const ReplaceCheck& check) override {
        real_.replace(temporary, target, backup, check);
    }
    void exchange(std::string_view first, std::string_view second) override {
        real_.exchange(first, second);
    }
    void removeFile(std::string_view name) noexcept override { real_.removeFile(name); }
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        return real_.readSetting(application, section, key, fallback);
    }
    bool isDirectory(std::string_view name) override { return real_.isDirectory(name); }
    std::string fullPath(std::string_view name) override { return real_.fullPath(name); }
    bool checkReplaceable(std::string_view target) override {
        return real_.checkReplaceable(target);
    }

  protected:
    System& real() { return real_; }

  private:
    System& real_;
};

}  // namespace kbnset::runtime
