// Free ports for the programs of the tests (the call tools use ports above these).
#pragma once

#include "freeports.h"

inline quint16 freeBasePort()
{
    return FreePorts::basePort(10000, 28000);
}
