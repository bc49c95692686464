#include "DeveloperCode.h"

#include <QCryptographicHash>

#ifndef VODEZ_DEVELOPER_CODE_SHA256
#error "VODEZ_DEVELOPER_CODE_SHA256 is set by the build"
#endif

bool IsDeveloperCode(const QString& code)
{
    const QByteArray hash = QCryptographicHash::hash(code.toUtf8(), QCryptographicHash::Sha256).toHex();
    return hash == QByteArrayLiteral(VODEZ_DEVELOPER_CODE_SHA256);
}
