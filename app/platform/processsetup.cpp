// The descriptor limit, and the termination signals' pipe, handler and notifier.
#include "processsetup.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool watchTerminationSignals(QObject *owner, std::function<void()> terminate)
{
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner,
                     [notifier, terminate = std::move(terminate)] {
                         char byte;
                         [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
                         // One orderly shutdown, however many signals follow.
                         notifier->setEnabled(false);
                         terminate();
                     });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}
