#include "HostSocketProbe.h"

#include <sys/socket.h>

namespace probe {
namespace {

bool hostOption(int fd, int name) {
    int value = 0;
    socklen_t length = sizeof value;
    return getsockopt(fd, SOL_SOCKET, name, &value, &length) == 0 && value != 0;
}

} // namespace

bool hostBroadcastEnabled(int fd) {
    return hostOption(fd, SO_BROADCAST);
}
bool hostReuseAddressEnabled(int fd) {
    return hostOption(fd, SO_REUSEADDR);
}

} // namespace probe
