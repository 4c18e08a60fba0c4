#include "runtime/system.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/paths.hpp"

namespace kbnset::runtime {

namespace fs = std::filesystem;

bool System::isDirectory(std::string_view name) {
    std::error_code ec;
    return fs::is_directory(pathOf(name), ec);
}

std::string System::fullPath(std::string_view name) {
    fs::path path = pathOf(name);
    if (!path.is_absolute()) path = pathOf(currentDirectory()) / path;
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    return utf8Of(ec ? path.lexically_normal() : canonical);
}

System& nativeSystem() {
    static NativeSystem system;
    return system;
}

void writeWhole(System& system, const std::string& target, std::string_view bytes) {
    std::unique_ptr<OutputFile> out = system.createTemporary(target);
    const std::string temporary = out->name();
    try {
        out->write(bytes);
        out->commit();
        out.reset();
        ReplaceCheck anyFile;
        if (system.isOrdinaryFile(target)) anyFile = [](InputFile&) { return true; };
        system.replace(temporary, target, {}, anyFile);
    } catch (...) {
        out.reset();
        system.removeFile(temporary);
        throw;
    }
}

std::optional<std::string> readSmall(System& system, const std::string& name, std::size_t limit) {
    std::unique_ptr<InputFile> in = system.openRead(name);
    std::string text;
    char chunk[4096];
    while (std::size_t n = in->read(chunk, sizeof chunk)) {
        text.append(chunk, n);
        if (text.size() > limit) return std::nullopt;
    }
    return text;
}

}  // namespace kbnset::runtime
