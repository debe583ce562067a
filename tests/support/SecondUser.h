// A second local user for tests of what one user's files may do to another: made with useradd
// when the tests run as root (no home, no login) and removed again; otherwise none, and `why`
// says so for the test's skip.
#pragma once

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace testsupport {

struct SecondUser {
    std::string name = "dawnbell" + std::to_string(::getpid());
    uid_t uid = 0;
    gid_t gid = 0;
    std::string why;

    SecondUser() {
        if (::geteuid() != 0) {
            why = "a second user can only be made when the tests run as root";
            return;
        }
        const std::string add = "useradd -M -N -s /usr/sbin/nologin " + name + " 2>/dev/null";
        const passwd* entry = std::system(add.c_str()) == 0 ? ::getpwnam(name.c_str()) : nullptr;
        if (entry == nullptr) {
            why = "useradd could not make the user " + name;
            return;
        }
        uid = entry->pw_uid;
        gid = entry->pw_gid;
    }
    ~SecondUser() {
        if (made()) {
            [[maybe_unused]] int removed =
                std::system(("userdel " + name + " 2>/dev/null").c_str());
        }
    }
    SecondUser(const SecondUser&) = delete;
    SecondUser& operator=(const SecondUser&) = delete;

    bool made() const { return uid != 0; }
    // For a test's child process: from here on it is this user, for good.
    bool become() const { return ::setgid(gid) == 0 && ::setuid(uid) == 0; }
};

} // namespace testsupport
