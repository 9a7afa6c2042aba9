#include "server/console/ConsoleAccess.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tolvan {

namespace {

// Buffers of the reentrant look-ups grow up to this before the answer counts as "no".
constexpr std::size_t kMaxBuffer = 1024UL * 1024;

template <class Entry, class Lookup>
bool Find(Entry& entry, std::vector<char>& buffer, Lookup lookup) {
    buffer.resize(16UL * 1024);
    for (;;) {
        Entry* found = nullptr;
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < kMaxBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found != nullptr;
    }
}

}  // namespace

bool ConsoleAccessAllowed(unsigned uid, const std::string& groupName) {
    if (uid == 0) {
        return true;
    }
    passwd user{};
    std::vector<char> userBuffer;
    if (!Find(user, userBuffer, [uid](passwd* e, char* b, std::size_t n, passwd** r) {
            return getpwuid_r(uid, e, b, n, r);
        })) {
        return false;
    }
    group wanted{};
    std::vector<char> groupBuffer;
    if (!Find(wanted, groupBuffer, [&groupName](group* e, char* b, std::size_t n, group** r) {
            return getgrnam_r(groupName.c_str(), e, b, n, r);
        })) {
        return false;
    }
    if (user.pw_gid == wanted.gr_gid) {
        return true;
    }
    std::vector<gid_t> groups(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        int count = static_cast<int>(groups.size());
        if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) != -1) {
            groups.resize(static_cast<std::size_t>(count));
            return std::find(groups.begin(), groups.end(), wanted.gr_gid) != groups.end();
        }
        groups.resize(static_cast<std::size_t>(std::max(count, 1)) * 2);
    }
    return false;
}

std::optional<std::string> ConsoleRefusal(const PeerOwner& peer, const std::string& groupName) {
    if (!peer.uid) {
        return peer.seen;
    }
    if (!ConsoleAccessAllowed(*peer.uid, groupName)) {
        return "peer " + peer.seen + ": user id " + std::to_string(*peer.uid) +
               " is neither root nor in group " + groupName;
    }
    return std::nullopt;
}

}  // namespace tolvan
