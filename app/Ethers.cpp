#include "Ethers.h"

#include <netinet/ether.h>

#include <algorithm>

std::optional<MacAddress> etherAddressOf(const std::string& name) {
    ether_addr address{};
    if (name.empty() || ether_hostton(name.c_str(), &address) != 0) {
        return std::nullopt;
    }
    MacAddress mac{};
    std::copy_n(address.ether_addr_octet, mac.size(), mac.begin());
    return mac;
}
