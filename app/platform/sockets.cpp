// Socket helpers of the endpoints.
#include "sockets.h"

#include <QTcpSocket>
#include <QTimer>

EndpointError socketError(QAbstractSocket::SocketError error, const QString &description)
{
    using E = QAbstractSocket::SocketError;
    int number = EndpointErrors::Other;
    switch (error) {
    case E::ConnectionRefusedError:
        number = EndpointErrors::ConnectionRefused;
        break;
    case E::RemoteHostClosedError:
        number = EndpointErrors::ConnectionReset;
        break;
    case E::HostNotFoundError:
        number = EndpointErrors::HostNotFound;
        break;
    case E::SocketTimeoutError:
        number = EndpointErrors::TimedOut;
        break;
    case E::NetworkError:
        number = EndpointErrors::NetworkUnreachable;
        break;
    case E::AddressInUseError:
        number = EndpointErrors::AddressInUse;
        break;
    default:
        break;
    }
    return {number, description};
}

void releaseSocket(QTcpSocket *socket, QObject *watcher, bool graceful)
{
    constexpr int LingerMs = 5000;
    socket->disconnect(watcher);
    if (graceful && socket->state() == QAbstractSocket::ConnectedState) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(LingerMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}
