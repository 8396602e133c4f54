// Address helpers for the endpoints: every address the program shows or compares is a plain
// dotted IPv4 text ("127.0.0.1"), never an IPv4-mapped IPv6 form.
#pragma once

#include "endpointerror.h"

#include <QHostAddress>
#include <QString>

namespace NetAddress
{

// Dotted IPv4 text of an address (mapped IPv6 addresses are unwrapped); other IPv6 as text.
QString text(const QHostAddress &address);

// This machine's address: the first IPv4 address of an interface that is up and not loopback,
// else the loopback address when only loopback is up, else empty (no network at all).
QString localMachineAddress();

// Resolves a dotted address or a host name to an IPv4 address.
EndpointError resolve(const QString &host, QHostAddress *out);

} // namespace NetAddress
