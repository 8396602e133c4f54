// The program's version, as the splash and About windows show it.
#pragma once

#include <QString>

inline const QString ProgramVersion = QStringLiteral("2.5");
