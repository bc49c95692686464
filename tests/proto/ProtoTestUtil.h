#pragma once
// Shared helpers of the protocol tests: opening a protocol to its emulated
// box, looking at the protocol's own meta-object, and reading little-endian
// fields out of the bytes the box recorded.

#include "Communication.h"
#include "EmulatedBox.h"

#include <QByteArray>
#include <QSignalSpy>
#include <QStringList>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <memory>

// Lets `box` listen on `address` and opens `link` to it; returns once both
// ends see the connection.
inline void connectLink(Communication& link, EmulatedBox& box, const QString& address)
{
    QString error;
    QVERIFY2(box.Listen(QHostAddress(address), 0, &error), qPrintable(error));
    QSignalSpy up(&link, &Communication::ComConnected);
    link.SetAddress(st_ComAddress{address, box.Port()});
    link.Open();
    QVERIFY(up.wait());
    QTRY_VERIFY(box.HasClient());
}

// Signatures of the signals and slots a class declares itself, in order.
inline QStringList ownMethodSignatures(const QMetaObject& mo)
{
    QStringList got;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        got << QString::fromLatin1(mo.method(i).methodSignature());
    return got;
}

// A spy on every signal the class of `object` declares itself.
inline QList<std::shared_ptr<QSignalSpy>> spiesOnOwnSignals(QObject* object)
{
    QList<std::shared_ptr<QSignalSpy>> spies;
    const QMetaObject& mo = *object->metaObject();
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        if (mo.method(i).methodType() == QMetaMethod::Signal)
            spies << std::make_shared<QSignalSpy>(object,
                                                  ("2" + mo.method(i).methodSignature()).constData());
    return spies;
}

inline qint32 le32(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}

inline quint32 leU32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

inline qint64 le64(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint64>(b.constData() + at);
}

inline float leFloat(const QByteArray& b, int at)
{
    const quint32 bits = leU32(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline double leDouble(const QByteArray& b, int at)
{
    const quint64 bits = qFromLittleEndian<quint64>(b.constData() + at);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline bool allZero(const QByteArray& b, int from, int to)
{
    for (int i = from; i < to; ++i)
        if (b.at(i) != 0)
            return false;
    return true;
}
