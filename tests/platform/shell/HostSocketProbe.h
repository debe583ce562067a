// Looks at a host socket directly, past the Winsock layer (its own translation unit, since the
// host's socket headers and winsock2.h can't meet).
#pragma once

namespace probe {

bool hostBroadcastEnabled(int fd);
bool hostReuseAddressEnabled(int fd);

} // namespace probe
