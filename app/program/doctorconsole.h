// `ovela --doctor`: the connection doctor on the terminal, with the settings, the pal server and
// the devices the program would use, each verdict printed as it comes. Its status: 0 when
// nothing stands in the way of calls, 1 otherwise.
#pragma once

#include <QtGlobal>

int runDoctorOnConsole(int argc, char **argv, quint16 basePort);
