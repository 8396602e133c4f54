// Maps socket errors to the endpoint error numbers the program reports.
#pragma once

#include "endpointerror.h"

#include <QAbstractSocket>

EndpointError socketError(QAbstractSocket::SocketError error, const QString &description);
