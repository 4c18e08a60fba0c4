#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/posix/os.hpp"

// The extended attributes that a replaced file must keep. The POSIX ACL is one of them
// (system.posix_acl_access), so copying them all keeps it exactly, mask and group entry apart.
namespace kbnset::runtime {

namespace {

// What an xattr call gives for `name` on `fd` (the list when `name` is null); false where the
// file system has no attributes.
bool readAttribute(int fd, const char* name, std::string& value, std::string_view file) {
    for (;;) {
        const ssize_t size =
            name == nullptr ? ::flistxattr(fd, nullptr, 0) : ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP) return false;
            throwLastError("cannot read the attributes of", file);
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t n = name == nullptr ? ::flistxattr(fd, value.data(), value.size())
                                          : ::fgetxattr(fd, name, value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (errno != ERANGE) throwLastError("cannot read the attributes of", file);
    }
}

}  // namespace

void copyAttributes(int from, int to, std::string_view target, std::string_view temporary) {
    std::string names;
    if (!readAttribute(from, nullptr, names, target)) return;
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(std::string_view(names).substr(at, names.find('\0', at) - at));
        at += name.size() + 1;
        // Gone since the list was read: nothing to keep.
        if (::fgetxattr(from, name.c_str(), nullptr, 0) < 0 && errno == ENODATA) continue;
        readAttribute(from, name.c_str(), value, target);
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0)
            throwLastError("cannot keep the attributes of", temporary);
    }
}

// With an ACL the group bits show its mask, which may grant more than the owning group has.
mode_t groupPermission(int fd, mode_t mode) {
    constexpr std::uint16_t kGroupEntry = 0x04;  // ACL_GROUP_OBJ
    constexpr std::size_t kHeader = 4, kEntry = 8;
    std::string acl(64, '\0');
    ssize_t n = ::fgetxattr(fd, "system.posix_acl_access", acl.data(), acl.size());
    if (n < 0 && errno == ERANGE) {
        acl.resize(
            static_cast<std::size_t>(::fgetxattr(fd, "system.posix_acl_access", nullptr, 0)));
        n = ::fgetxattr(fd, "system.posix_acl_access", acl.data(), acl.size());
    }
    auto u16 = [&acl](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(acl[at]) |
                                          static_cast<unsigned char>(acl[at + 1]) << 8);
    };
    for (std::size_t at = kHeader; n > 0 && at + kEntry <= static_cast<std::size_t>(n);
         at += kEntry)
        if (u16(at) == kGroupEntry) return u16(at + 2) & 07;
    return (mode & 070) >> 3;
}

}  // namespace kbnset::runtime
