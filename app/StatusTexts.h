// Texts of the main screen's status line, and what a send outcome shows there.
#pragma once

#include "WakePacket.h"

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
    case SendOutcome::sendFailed:
        return sendFailedMessage;
    }
    return nullptr;
}
