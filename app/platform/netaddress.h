// Address helpers for the endpoints: every address the program shows or compares is a plain
// dotted IPv4 text ("127.0.0.1"), never an IPv4-mapped IPv6 form.
#pragma once

#include "endpointerror.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

class QObject;

// The base port a program listens on unless told otherwise, and the port a peer whose address
// carries none is called on.
constexpr quint16 DefaultBasePort = 2000;

namespace NetAddress
{

// "host:port" into its parts; without a port (or with one that is no port number) the whole text
// is the host and the port is DefaultBasePort.
void splitTarget(const QString &target, QString *host, quint16 *port);

// Dotted IPv4 text of an address (mapped IPv6 addresses are unwrapped); other IPv6 as text.
QString text(const QHostAddress &address);

// This machine's address: the first IPv4 address of an interface that is up and not loopback,
// else the loopback address when only loopback is up, else empty (no network at all).
QString localMachineAddress();
// Whether this machine can reach anything beyond itself: an IPv4 address on an interface that is
// up and not loopback (its carrier may still be coming).
bool hasNetwork();

// A dotted IPv4 address (or an IPv6 form of one) as an address; HostNotFound for other IPv6
// addresses, NoNetwork for an empty text. False in `isName` when the text is a host name instead,
// which only lookUp resolves.
EndpointError literal(const QString &host, QHostAddress *out, bool *isName);

// Looks a host name up in a thread of its own, so that a slow name server never holds up the
// caller's thread; `done` runs later on `receiver`'s thread with the first IPv4 address or the
// error, unless the receiver is gone by then.
using LookupDone = std::function<void(const EndpointError &error, const QHostAddress &address)>;
void lookUp(const QString &name, QObject *receiver, LookupDone done);

// What lookUp asks for a name's addresses (the system's resolver; tests put a slow one here).
using Resolver = std::function<QList<QHostAddress>(const QString &name)>;
void setResolver(Resolver resolver);

} // namespace NetAddress
