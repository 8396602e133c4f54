// Socket helpers shared by the endpoints: error numbers as the program reports them, and letting
// a socket go.
#pragma once

#include "endpointerror.h"

#include <QAbstractSocket>

class QTcpSocket;

EndpointError socketError(QAbstractSocket::SocketError error, const QString &description);

// Lets go of a socket the endpoint no longer watches. Graceful: queued bytes still reach the
// peer (for up to five seconds) before it is closed; otherwise it is aborted at once.
void releaseSocket(QTcpSocket *socket, QObject *watcher, bool graceful);
