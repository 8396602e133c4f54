// The directory server of this project as a process of its own on free ports, with its
// database in a folder of its own; stopped when it goes.
#pragma once

#include "testsupport.h"

#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

struct DirectoryServer {
    QTemporaryDir dir;
    QProcess process;
    const quint16 directoryPort, palPort = freeBasePort();

    explicit DirectoryServer(quint16 port = freeBasePort()) : directoryPort(port)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(OVELA_DIRECTORY_BINARY),
                      {"--directory-port", QString::number(directoryPort), "--pal-port",
                       QString::number(palPort), "--database", dir.filePath("directory.sqlite")});
        process.waitForStarted();
    }
    ~DirectoryServer()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    bool listening() const
    {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), directoryPort);
        return probe.waitForConnected(200);
    }
};
