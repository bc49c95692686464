#pragma once
// The access code of the developer mode. It is chosen when the program is
// built (CMake cache variable VODEZ_DEVELOPER_CODE); the program holds only
// its SHA-256 hash.

#include <QString>

bool IsDeveloperCode(const QString& code);
