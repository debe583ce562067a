// Texts of the main screen's status line, and what a send outcome shows there.
#pragma once

#include "WakePacket.h"

#include <cstdint>
#include <string>

// Data-connection bring-up.
inline constexpr wchar_t statusTryingToConnect[] = L"Trying to connect...";
inline constexpr wchar_t statusReadyToSend[] = L"Ready to send the magic packet !";
inline constexpr wchar_t statusCantRetrieveConnections[] =
    L"Can't retrieve available connections...";
inline constexpr wchar_t statusCantFindWebConnections[] = L"Can't find web connections...";
inline constexpr wchar_t statusCantEstablishConnection[] = L"Can't establish connection to web...";

// Sending.
inline constexpr wchar_t statusHostNotFound[] = L"Host not found...";
inline constexpr wchar_t statusPacketSent[] = L"Magic packet sended ;-)";
inline constexpr wchar_t statusInvalidMac[] = L"Invalid MAC address...";
inline constexpr wchar_t statusInvalidPort[] = L"Invalid port...";
inline constexpr wchar_t statusInvalidPassword[] = L"Invalid password...";

// The same, when the packet went to the host's subnet as a broadcast, or to its link's all-nodes
// group, too.
inline std::wstring sentStatusText(const WakeDelivery& delivery) {
    const auto also = delivery.alsoTo();
    if (!also) {
        return statusPacketSent;
    }
    return std::wstring(statusPacketSent) + L" (also to " + addressText(*also) + L")";
}

// The host as the status line names it: blanks around it dropped, and a long name cut short so
// that the line keeps to the small phone's width.
inline constexpr std::size_t longestShownHost = 24;
inline std::wstring shownHost(const std::wstring& typed) {
    const auto first = typed.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return {};
    }
    std::wstring host = typed.substr(first, typed.find_last_not_of(L" \t") - first + 1);
    if (host.size() > longestShownHost) {
        host = host.substr(0, longestShownHost - 3) + L"...";
    }
    return host;
}

// A name being looked up, before anything is sent.
inline std::wstring lookingUpText(const std::wstring& host) {
    return L"Looking up " + shownHost(host) + L"...";
}

// The awake check. Its texts come under the send's confirmation, which stays on the first line.
inline std::wstring underSentLine(const std::wstring& sentLine, const std::wstring& checkText) {
    return sentLine + L"\n" + checkText;
}
inline constexpr wchar_t statusComputerAwake[] = L"The computer is awake ;-)";
// The address answered before the packet left: whatever answers is no computer that woke.
inline std::wstring alreadyAnswersText(const std::wstring& host) {
    return shownHost(host) + L" already answers: it was awake, or it is your router";
}
inline constexpr wchar_t statusCantCheckAwake[] = L"Can't check whether the computer woke";
// No-break spaces keep "wake... 12 s" and "60 s:" whole where the line wraps: a lone "s" on a
// line of its own read as a fault.
inline constexpr wchar_t noBreakSpace = L'\u00a0';
inline std::wstring waitingForWakeText(unsigned seconds) {
    return L"Waiting for the computer to wake..." + std::wstring(1, noBreakSpace) +
           std::to_wstring(seconds) + noBreakSpace + L's';
}
inline std::wstring noAnswerText(unsigned seconds) {
    return L"No answer after " + std::to_wstring(seconds) + noBreakSpace +
           L"s: is Wake-on-LAN on in the computer's settings?";
}

// Quit.
inline constexpr wchar_t statusGoodbye[] = L"Goodbye !!!";

// A refused datagram is told in a message box too, since the user may have to fix the network.
inline constexpr wchar_t sendFailedMessage[] = L"Can't send magic packet...";
inline constexpr wchar_t sendFailedCaption[] = L"sendto error";

// The status line's text for an outcome.
constexpr const wchar_t* statusTextFor(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::sent:
        return statusPacketSent;
    case SendOutcome::hostNotFound:
        return statusHostNotFound;
    case SendOutcome::invalidMac:
        return statusInvalidMac;
    case SendOutcome::invalidPort:
        return statusInvalidPort;
    case SendOutcome::invalidPassword:
        return statusInvalidPassword;
    case SendOutcome::sendFailed:
        return sendFailedMessage;
    }
    return nullptr;
}
