#pragma once
// Both boxes of the instrument on loopback: the transmitter and the receiver,
// each its own server. Pass subclasses of EmulatedBox to give them device
// behaviour; the emulator owns them.

#include "EmulatedBox.h"

#include <QHostAddress>
#include <QObject>

class InstrumentEmulator : public QObject
{
    Q_OBJECT
public:
    explicit InstrumentEmulator(EmulatedBox* transmitter = nullptr,
                                EmulatedBox* receiver = nullptr, QObject* parent = nullptr);

    // An address of 127.0.0.0/8 for this run of a test: 127.<group>.<n>.<host>
    // with n taken from the process id, so that the same test run side by
    // side in another checkout, on the fixed device port, never finds its
    // address taken.
    static QString RunAddress(int group, int host);

    // Both addresses must lie in 127.0.0.0/8; port 0 picks a free port.
    bool Start(const QHostAddress& transmitterAddress, quint16 transmitterPort,
               const QHostAddress& receiverAddress, quint16 receiverPort,
               QString* error = nullptr);
    void Stop();

    EmulatedBox& Transmitter() { return *m_transmitter; }
    EmulatedBox& Receiver() { return *m_receiver; }

private:
    EmulatedBox* m_transmitter;
    EmulatedBox* m_receiver;
};
