// The outcome of an endpoint operation: 0 for success, else a number and a description that
// callers show to the user as "text + number + ' ' + description".
#pragma once

#include <QString>

struct EndpointError {
    int number = 0;
    QString description;

    explicit operator bool() const { return number != 0; }
    static EndpointError none() { return {}; }
};

// Error numbers the program relies on.
namespace EndpointErrors
{
constexpr int AddressInUse = 25049; // the listening port is taken
constexpr int NoNetwork = 26005;    // this machine has no usable network address
constexpr int HostNotFound = 11001; // a host name could not be resolved
constexpr int NotConnected = 10057; // a send on a connection that is not open
constexpr int ConnectionRefused = 10061;
constexpr int TimedOut = 10060;
constexpr int ConnectionReset = 10054;
constexpr int NetworkUnreachable = 10051;
constexpr int WouldBlock = 10035; // the send buffer is full; nothing was taken
constexpr int Other = 10000;
} // namespace EndpointErrors
