// Socket error numbers in the form the program shows them.
#include "socketerrors.h"

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
