#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/posix/os.hpp"

// The per-user settings store is the INI file ${XDG_CONFIG_HOME:-$HOME/.config}/<application>.ini,
// UTF-8, standing in for the registry key of the same application on Windows:
//   [SCHOOL]
//   DIR_ME = /srv/zorvel/data
// Section and key names match without regard to ASCII case, as registry names do. Blanks
// around names and values are trimmed. A line whose first non-blank is ';' or '#' is a
// comment; there are no comments after a value, since a path may hold either sign. Lines of
// any other shape are skipped. The first matching key wins. CR LF line ends and a leading
// byte order mark are accepted. As Windows' INI reader does, a value in double quotes loses
// them. A value holding NUL counts as not stored, and so does a file larger than any settings
// file would be.
namespace kbnset::runtime {

namespace {

constexpr std::size_t kMaxSettingsFile = std::size_t{64} * 1024;

std::string_view trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::optional<std::string_view> findSetting(std::string_view content, std::string_view section,
                                            std::string_view key) {
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    bool inSection = false;
    while (!content.empty()) {
        auto end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trim(line);

        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            auto close = line.find(']');
            if (close != std::string_view::npos)
                inSection = sameName(trim(line.substr(1, close - 1)), section);
            continue;
        }
        auto equals = line.find('=');
        if (inSection && equals != std::string_view::npos &&
            sameName(trim(line.substr(0, equals)), key)) {
            std::string_view value = trim(line.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return std::nullopt;
}

// The folder of the INI files, or empty when the environment names none. XDG_CONFIG_HOME
// counts only as an absolute path, as the XDG base directory rules say.
std::string settingsDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return config;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.config";
}

}  // namespace

std::string NativeSystem::readSetting(std::string_view application, std::string_view section,
                                      std::string_view key, std::string_view fallback) {
    std::string directory = settingsDirectory();
    if (directory.empty() || application.empty() || application.find('/') != std::string_view::npos)
        return std::string(fallback);

    std::string content;
    try {
        content =
            readWholeFile(directory + "/" + std::string(application) + ".ini", kMaxSettingsFile);
    } catch (const Error&) {
        return std::string(fallback);  // no file, or one that cannot be read: nothing stored
    }
    auto value = findSetting(content, section, key);
    if (!value || value->find('\0') != std::string_view::npos) return std::string(fallback);
    return std::string(*value);
}

}  // namespace kbnset::runtime
