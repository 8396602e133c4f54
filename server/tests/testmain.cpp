// Test entry point: QProcess and the servers' threads want a Qt application object.
#include "log.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <sys/resource.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Clients and an in-process server share this process's descriptors, as the server takes
    // all the system allows.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    Log::setLevel(Log::Error); // the servers in this process log what goes wrong only
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
