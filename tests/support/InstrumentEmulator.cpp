#include "InstrumentEmulator.h"

#include <QCoreApplication>

InstrumentEmulator::InstrumentEmulator(EmulatedBox* transmitter, EmulatedBox* receiver,
                                       QObject* parent)
    : QObject(parent),
      m_transmitter(transmitter ? transmitter : new EmulatedBox(QStringLiteral("transmitter"))),
      m_receiver(receiver ? receiver : new EmulatedBox(QStringLiteral("receiver")))
{
    m_transmitter->setParent(this);
    m_receiver->setParent(this);
}

bool InstrumentEmulator::Start(const QHostAddress& transmitterAddress, quint16 transmitterPort,
                               const QHostAddress& receiverAddress, quint16 receiverPort,
                               QString* error)
{
    if (!m_transmitter->Listen(transmitterAddress, transmitterPort, error))
        return false;
    if (!m_receiver->Listen(receiverAddress, receiverPort, error)) {
        m_transmitter->Stop();
        return false;
    }
    return true;
}

void InstrumentEmulator::Stop()
{
    m_transmitter->Stop();
    m_receiver->Stop();
}

QString InstrumentEmulator::RunAddress(int group, int host)
{
    const int run = int(QCoreApplication::applicationPid() % 250) + 1;
    return QStringLiteral("127.%1.%2.%3").arg(group).arg(run).arg(host);
}
