// The text form of a scripted Connection Manager (DAWNBELL_CONNMGR).
#include "platform/Network.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace platform::net {
namespace {

const std::map<std::string, DWORD>& statusNames() {
    static const std::map<std::string, DWORD> names = {
        {"unknown", CONNMGR_STATUS_UNKNOWN},
        {"connected", CONNMGR_STATUS_CONNECTED},
        {"suspended", CONNMGR_STATUS_SUSPENDED},
        {"disconnected", CONNMGR_STATUS_DISCONNECTED},
        {"connectionfailed", CONNMGR_STATUS_CONNECTIONFAILED},
        {"canceled", CONNMGR_STATUS_CONNECTIONCANCELED},
        {"disabled", CONNMGR_STATUS_CONNECTIONDISABLED},
        {"nopathtodestination", CONNMGR_STATUS_NOPATHTODESTINATION},
        {"waitingforpath", CONNMGR_STATUS_WAITINGFORPATH},
        {"waitingforphone", CONNMGR_STATUS_WAITINGFORPHONE},
        {"phoneoff", CONNMGR_STATUS_PHONEOFF},
        {"exclusiveconflict", CONNMGR_STATUS_EXCLUSIVECONFLICT},
        {"noresources", CONNMGR_STATUS_NORESOURCES},
        {"connectionlinkfailed", CONNMGR_STATUS_CONNECTIONLINKFAILED},
        {"authenticationfailed", CONNMGR_STATUS_AUTHENTICATIONFAILED},
        {"nopathwithproperty", CONNMGR_STATUS_NOPATHWITHPROPERTY},
        {"waitingconnection", CONNMGR_STATUS_WAITINGCONNECTION},
        {"waitingforresource", CONNMGR_STATUS_WAITINGFORRESOURCE},
        {"waitingfornetwork", CONNMGR_STATUS_WAITINGFORNETWORK},
        {"waitingdisconnection", CONNMGR_STATUS_WAITINGDISCONNECTION},
        {"waitingconnectionabort", CONNMGR_STATUS_WAITINGCONNECTIONABORT},
    };
    return names;
}

std::string trimmed(const std::string& text) {
    const auto first =
        std::find_if_not(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
    const auto last = std::find_if_not(text.rbegin(), text.rend(),
                                       [](unsigned char c) { return std::isspace(c); });
    return first < last.base() ? std::string(first, last.base()) : std::string();
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(trimmed(part));
    return parts;
}

bool parseNumber(const std::string& text, DWORD& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    std::size_t used = 0;
    unsigned long long number = 0;
    try {
        number = std::stoull(text, &used, 0);
    } catch (...) {
        return false;
    }
    if (used != text.size() || number > 0xffffffffull)
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

bool parseStatus(const std::string& text, DWORD& status) {
    const auto named = statusNames().find(text);
    if (named != statusNames().end()) {
        status = named->second;
        return true;
    }
    return parseNumber(text, status);
}

bool parseConnection(const std::string& text, ScriptedConnection& connection) {
    const auto colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string destination = text.substr(0, colon);
    if (destination == "internet")
        connection.destination = IID_DestNetInternet;
    else if (destination == "work")
        connection.destination = workDestination;
    else
        return false;
    if (!parseStatus(text.substr(colon + 1), connection.status))
        return false;
    if ((connection.status & CONNMGR_STATUS_CONNECTED) == 0)
        connection.adapterName.clear();
    return true;
}

bool parseList(const std::string& text, std::vector<ScriptedConnection>& list) {
    if (text.empty())
        return true;
    for (const auto& part : split(text, ',')) {
        ScriptedConnection connection;
        if (!parseConnection(part, connection))
            return false;
        list.push_back(connection);
    }
    return true;
}

bool parseOutcome(const std::string& text, EstablishOutcome& outcome) {
    if (text == "connect")
        outcome = EstablishOutcome::connect;
    else if (text == "fail")
        outcome = EstablishOutcome::fail;
    else if (text == "never")
        outcome = EstablishOutcome::never;
    else
        return false;
    return true;
}

bool parseSetting(const std::string& key, const std::string& value, ConnectionScript& script,
                  bool& listSeen) {
    if (key == "list") {
        if (!listSeen)
            script.lists.clear();
        listSeen = true;
        script.lists.emplace_back();
        return parseList(value, script.lists.back());
    }
    DWORD number = 0;
    if (key == "query" && parseNumber(value, number)) {
        script.queryResult = static_cast<HRESULT>(number);
        return true;
    }
    if (key == "delay" && parseNumber(value, number)) {
        script.establishDelayMs = number;
        return true;
    }
    if (key == "failure")
        return parseStatus(value, script.failureStatus);
    if (key == "establish")
        return parseOutcome(value, script.establish);
    return false;
}

} // namespace

bool parseConnectionScript(const std::string& text, ConnectionScript& script, std::string& error) {
    const std::string whole = trimmed(text);
    script = ConnectionScript{};
    if (whole == "connected")
        return true;
    if (whole == "disconnected") {
        script.lists = {{ScriptedConnection{IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED,
                                            CM_CONNTYPE_NIC, L"Internet", L""}}};
        script.establish = EstablishOutcome::never;
        return true;
    }
    bool listSeen = false;
    for (const auto& setting : split(whole, ';')) {
        if (setting.empty())
            continue;
        const auto equals = setting.find('=');
        const std::string key = trimmed(setting.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : trimmed(setting.substr(equals + 1));
        if (equals == std::string::npos || !parseSetting(key, value, script, listSeen)) {
            error = "unusable Connection Manager setting \"" + setting + "\"";
            return false;
        }
    }
    return true;
}

} // namespace platform::net
