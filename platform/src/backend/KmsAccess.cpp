#include "backend/KmsAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <system_error>

namespace platform::backend {
namespace {

namespace fs = std::filesystem;

struct Found {
    bool any = false;
    bool opened = false;
    std::set<std::string> groups; // of the devices that could not be opened
};

// The devices in `folder` whose names start with `prefix`, tried for reading and writing.
Found tryDevices(const fs::path& folder, std::string_view prefix, int flags) {
    Found found;
    std::error_code error;
    if (::access(folder.c_str(), R_OK | X_OK) != 0 && fs::exists(folder, error)) {
        found.any = true; // the folder itself is closed to us
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0) {
            if (const group* owner = ::getgrgid(info.st_gid)) {
                found.groups.insert(owner->gr_name);
            }
        }
        return found;
    }
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        found.any = true;
        const int fd = ::open(entry.path().c_str(), flags | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
            found.opened = true;
            continue;
        }
        struct stat info {};
        if (::stat(entry.path().c_str(), &info) == 0) {
            if (const group* owner = ::getgrgid(info.st_gid); owner && info.st_gid != 0) {
                found.groups.insert(owner->gr_name);
            }
        }
    }
    return found;
}

void addGroups(std::string& text, const std::set<std::string>& groups, const char* fallback) {
    if (groups.empty()) {
        text += fallback;
        return;
    }
    bool first = true;
    for (const auto& name : groups) {
        text += first ? "" : ", ";
        text += name;
        first = false;
    }
}

} // namespace

KmsCheck checkKmsAccess(const KmsDevices& devices) {
    const Found cards = tryDevices(devices.dri, "card", O_RDWR);
    if (!cards.any) {
        return KmsCheck{KmsAccess::noDisplay, {}};
    }
    const Found inputs = tryDevices(devices.input, "event", O_RDONLY);
    if (!inputs.any) {
        // Taking the screen would leave nothing to end the program with.
        return KmsCheck{
            KmsAccess::refused,
            "Dawnbell: there is no touch screen, keyboard or mouse (no input device in " +
                devices.input.string() + "). Connect one, then start Dawnbell once more."};
    }
    if (cards.opened && inputs.opened) {
        return KmsCheck{};
    }
    std::string message = "Dawnbell: the screen and touch devices may not be used by this user. ";
    if (!cards.opened) {
        message += "No display card in " + devices.dri.string() + " opens: join the group ";
        addGroups(message, cards.groups, "video");
        message += ". ";
    }
    if (!inputs.opened) {
        message += "No input device in " + devices.input.string() + " opens: join the group ";
        addGroups(message, inputs.groups, "input");
        message += ". ";
    }
    message += "Then log in again and start Dawnbell once more.";
    return KmsCheck{KmsAccess::refused, message};
}

} // namespace platform::backend
