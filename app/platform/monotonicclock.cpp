// The monotonic clock.
#include "monotonicclock.h"

#include <time.h>

namespace MonotonicClock
{
qint64 nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
} // namespace MonotonicClock
