// The network endpoints owned by the main window: the control, media and quick-message
// listeners, and the control, media and server clients.
#pragma once

#include "platform/ipdaemon.h"
#include "platform/ipport.h"

struct Endpoints {
    IPDaemon ipdControl; // base port, no terminator
    IPDaemon ipdQvid;    // base port + 1, "<E>" per connection
    IPDaemon ipdMessage; // base port + 2, "<E>" per connection
    IPPort ippControl;   // peer's base port, no terminator
    IPPort ippClient;    // peer's base port + 1, "<E>"
    IPPort ippServer;    // directory server, "<ET>"
    IPPort ippServerPal; // pal server, no terminator
};

inline const QByteArray MediaEol = QByteArrayLiteral("<E>");
inline const QByteArray ServerEol = QByteArrayLiteral("<ET>");
