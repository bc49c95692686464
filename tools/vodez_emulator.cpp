// Runs the loopback instrument emulator by hand: both boxes listen on
// loopback, log every frame they receive and answer every request with a
// result code, optionally through a damaged byte stream. With --devices they
// behave as the real receiver and transmitter instead: they run
// acquisitions, push waveforms, decays and monitor values, and refuse
// (--result 0), delay or ignore commands as asked.
//
//   vodez-emulator [--transmitter ADDR:PORT] [--receiver ADDR:PORT]
//                  [--result N] [--delay MS] [--silent CMD,...]
//                  [--push BOX:CMD:INTERVAL_MS:BYTES] [--chunks whole|byte|random]
//                  [--devices [--cycle-ms MS] [--monitor-ms MS]]

#include "EmuDevices.h"
#include "InstrumentEmulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>
#include <QTextStream>

#include <memory>

namespace
{
bool parseEndpoint(const QString& text, QHostAddress& address, quint16& port, QString& error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = colon > 0;
    const uint p = ok ? text.mid(colon + 1).toUInt(&ok) : 0;
    if (!ok || p > 65535 || !address.setAddress(text.left(colon))) {
        error = QStringLiteral("not an ADDR:PORT endpoint: %1").arg(text);
        return false;
    }
    if (!EmulatedBox::IsAllowedAddress(address)) {
        error = QStringLiteral("refusing %1: the emulator only runs on loopback addresses "
                               "(127.0.0.0/8)")
                    .arg(text);
        return false;
    }
    port = quint16(p);
    return true;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QTextStream out(stdout);

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Loopback emulator of the two instrument boxes."));
    cli.addHelpOption();
    QCommandLineOption txOpt(QStringLiteral("transmitter"), QStringLiteral("Transmitter endpoint."),
                             QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.9:12345"));
    QCommandLineOption rxOpt(QStringLiteral("receiver"), QStringLiteral("Receiver endpoint."),
                             QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.10:12345"));
    QCommandLineOption resultOpt(QStringLiteral("result"),
                                 QStringLiteral("Result code in every reply (default 1)."),
                                 QStringLiteral("N"), QStringLiteral("1"));
    QCommandLineOption delayOpt(QStringLiteral("delay"), QStringLiteral("Reply delay in ms."),
                                QStringLiteral("MS"), QStringLiteral("0"));
    QCommandLineOption silentOpt(QStringLiteral("silent"),
                                 QStringLiteral("Commands never answered (comma list)."),
                                 QStringLiteral("CMD,..."));
    QCommandLineOption pushOpt(QStringLiteral("push"),
                               QStringLiteral("Push BYTES zero bytes as command CMD every "
                                              "INTERVAL_MS from box tx or rx (repeatable)."),
                               QStringLiteral("BOX:CMD:INTERVAL_MS:BYTES"));
    QCommandLineOption chunkOpt(QStringLiteral("chunks"),
                                QStringLiteral("Cut the output stream: whole, byte or random."),
                                QStringLiteral("MODE"), QStringLiteral("whole"));
    QCommandLineOption devicesOpt(QStringLiteral("devices"),
                                  QStringLiteral("Behave as the real receiver and transmitter."));
    QCommandLineOption cycleOpt(QStringLiteral("cycle-ms"),
                                QStringLiteral("With --devices: length of one acquisition in ms "
                                               "(default: the configured periods in real time)."),
                                QStringLiteral("MS"), QStringLiteral("-1"));
    QCommandLineOption monitorOpt(QStringLiteral("monitor-ms"),
                                  QStringLiteral("With --devices: interval of the transmitter's "
                                                 "monitor pushes in ms, 0 for none."),
                                  QStringLiteral("MS"), QStringLiteral("1000"));
    cli.addOptions({txOpt, rxOpt, resultOpt, delayOpt, silentOpt, pushOpt, chunkOpt, devicesOpt,
                    cycleOpt, monitorOpt});
    cli.process(app);

    QHostAddress txAddr, rxAddr;
    quint16 txPort = 0, rxPort = 0;
    QString error;
    if (!parseEndpoint(cli.value(txOpt), txAddr, txPort, error)
        || !parseEndpoint(cli.value(rxOpt), rxAddr, rxPort, error)) {
        err << "vodez-emulator: " << error << Qt::endl;
        return 2;
    }

    const bool devices = cli.isSet(devicesOpt);
    std::unique_ptr<InstrumentEmulator> emuOwner;
    DeviceEmulator* deviceEmu = nullptr;
    if (devices) {
        deviceEmu = new DeviceEmulator;
        emuOwner.reset(deviceEmu);
    } else {
        emuOwner = std::make_unique<InstrumentEmulator>();
    }
    InstrumentEmulator& emu = *emuOwner;
    const quint32 result = cli.value(resultOpt).toUInt();
    const int delay = cli.value(delayOpt).toInt();
    QSet<quint16> silent;
    for (const QString& c : cli.value(silentOpt).split(QLatin1Char(','), Qt::SkipEmptyParts))
        silent.insert(quint16(c.toUInt()));

    EmulatedBox::Chunking chunking = EmulatedBox::Chunking::Whole;
    const QString mode = cli.value(chunkOpt);
    if (mode == QLatin1String("byte"))
        chunking = EmulatedBox::Chunking::ByteByByte;
    else if (mode == QLatin1String("random"))
        chunking = EmulatedBox::Chunking::RandomChunks;
    else if (mode != QLatin1String("whole")) {
        err << "vodez-emulator: unknown chunk mode " << mode << Qt::endl;
        return 2;
    }

    for (EmulatedBox* box : {&emu.Transmitter(), &emu.Receiver()}) {
        box->SetChunking(chunking, 64);
        QObject::connect(box, &EmulatedBox::frameReceived, [&out, box](const EmuFrameRecord& f) {
            out << box->Name() << ": cmd " << f.cmd << " type " << f.type << " seq " << f.seq
                << " payload " << f.payload.size() << " bytes " << f.payload.left(32).toHex(' ')
                << Qt::endl;
        });
        QObject::connect(box, &EmulatedBox::clientConnected, [&out, box] {
            out << box->Name() << ": client connected" << Qt::endl;
        });
        QObject::connect(box, &EmulatedBox::clientDisconnected, [&out, box] {
            out << box->Name() << ": client disconnected" << Qt::endl;
        });
        if (!devices)
            box->SetDefaultHandler([result, delay, silent](EmulatedBox& b, const EmuFrameRecord& f) {
                if (!silent.contains(f.cmd))
                    b.Reply(f, EmuDeviceBox::ResultPayload(result), delay);
            });
    }

    if (deviceEmu) {
        deviceEmu->SetCycleMs(cli.value(cycleOpt).toInt());
        deviceEmu->Tx().SetMonitorInterval(cli.value(monitorOpt).toInt());
        const QList<QPair<EmuDeviceBox*, QList<quint16>>> commands = {
            {&deviceEmu->Tx(), {EmuTransmitterBox::CmdDeviceInfo, EmuTransmitterBox::CmdConfig,
                                EmuTransmitterBox::CmdStart, EmuTransmitterBox::CmdStop}},
            {&deviceEmu->Rx(), {EmuReceiverBox::CmdConfig, EmuReceiverBox::CmdStop,
                                EmuReceiverBox::CmdAutoChannel, EmuReceiverBox::CmdTimeSync}},
        };
        for (const auto& box : commands) {
            for (quint16 cmd : box.second) {
                if (silent.contains(cmd))
                    box.first->Silence(cmd);
                else if (result == 0)
                    box.first->SetRule(cmd, {EmuRule::Refuse, delay, {}, -1});
                else if (delay > 0)
                    box.first->Delay(cmd, delay);
            }
        }
    }

    for (const QString& pushArg : cli.values(pushOpt)) {
        const QStringList p = pushArg.split(QLatin1Char(':'));
        if (p.size() != 4 || (p[0] != QLatin1String("tx") && p[0] != QLatin1String("rx"))) {
            err << "vodez-emulator: bad --push " << pushArg << Qt::endl;
            return 2;
        }
        EmulatedBox& box = p[0] == QLatin1String("tx") ? emu.Transmitter() : emu.Receiver();
        const int bytes = p[3].toInt();
        box.SchedulePush(quint16(p[1].toUInt()), [bytes](int) { return QByteArray(bytes, '\0'); },
                         qMax(1, p[2].toInt()));
    }

    if (!emu.Start(txAddr, txPort, rxAddr, rxPort, &error)) {
        err << "vodez-emulator: " << error << Qt::endl;
        return 1;
    }
    out << "transmitter on " << emu.Transmitter().Address().toString() << ':'
        << emu.Transmitter().Port() << ", receiver on " << emu.Receiver().Address().toString()
        << ':' << emu.Receiver().Port() << Qt::endl;
    return app.exec();
}
