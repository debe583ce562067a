// Whatever a computer on the network answers, or the kernel's netlink socket holds, is read
// without harm: the NetBIOS and multicast DNS answer readers and the neighbour table reader take
// any bytes, and every name they give cleans into a bounded text with no control or
// bidirectional-override character.
#include "NameAnswers.h"
#include "net/Neighbours.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

bool isShowable(wchar_t c) {
    return c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != 0x2028 && c != 0x2029 &&
           !(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069) && c != 0x200E &&
           c != 0x200F && c != 0x061C;
}

void checkClean(const std::string& name) {
    const std::wstring clean = name_answers::cleanName(name);
    if (clean.size() > name_answers::longestName) {
        std::abort();
    }
    for (wchar_t c : clean) {
        if (!isShowable(c)) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;
    switch (data[0] % 3) {
    case 0:
        if (const auto name = name_answers::netbiosName(body, length, 0x1234)) {
            checkClean(*name);
        }
        break;
    case 1:
        if (const auto name = name_answers::reverseName(body, length, 0x0A00A8C0)) {
            checkClean(*name);
        }
        break;
    default: {
        std::vector<platform::net::neighbours::Entry> entries;
        platform::net::neighbours::parseMessages(body, length, entries);
        for (const auto& entry : entries) {
            if (entry.hardwareLength > entry.hardware.size()) {
                std::abort();
            }
        }
        break;
    }
    }
    checkClean(std::string(reinterpret_cast<const char*>(body), length));
    return 0;
}
