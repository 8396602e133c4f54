// The machine's monotonic clock in milliseconds: the same clock in every process of the machine,
// so that times taken by two programs (a picture's capture and its drawing) can be compared.
#pragma once

#include <QtGlobal>

namespace MonotonicClock
{
qint64 nowMs();
}
