#include "EmuDevices.h"
#include "ILibRecv_DUD4004.h"
#include "iLibSend.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// Both boxes of the emulated instrument driven the way the acquisition
// controller drives them: channels, receiver configuration, transmitter
// configuration and start, then the pushes of each acquisition.
class TestSounding : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeviceEmulator> emu;
    std::unique_ptr<ILibRecv_DUD4004> recv;
    std::unique_ptr<iLibSend> send;

    // One round of the parameter states; returns when the start is answered.
    void startRepeat(int sampleMode, int continueMode, bool channels)
    {
        if (channels) {
            QSignalSpy ch(recv.get(), &ILibRecv_DUD4004::onRecvAutoChannel);
            st_ConfigAutoTimeChannel_DUD4004 req{25.0f, 1250};
            recv->RecvConfig_AutoChannel(&req);
            QVERIFY(ch.wait());
        }
        QSignalSpy rc(recv.get(), &ILibRecv_DUD4004::onRecvConfiged);
        st_RecvParam rp;
        rp.BaseFreq = 25.0f;
        rp.Period = 25;
        rp.ContinueMode = continueMode;
        rp.SampleMode = sampleMode;
        recv->RecvConfig(&rp);
        QVERIFY(rc.wait());
        QSignalSpy tc(send.get(), &iLibSend::TEM_Configed);
        st_TEMSendInfo ti;
        ti.BaseFreq = 25.0f;
        ti.Period = 25;
        ti.ContinueMode = continueMode;
        send->TEM_Config(&ti);
        QVERIFY(tc.wait());
        QSignalSpy ts(send.get(), &iLibSend::TEM_Strated);
        send->TEM_Strat();
        QVERIFY(ts.wait());
        QCOMPARE(ts.at(0).at(0).toBool(), true);
    }

private slots:
    void init()
    {
        emu = std::make_unique<DeviceEmulator>();
        emu->SetCycleMs(40);
        emu->Tx().SetMonitorInterval(0);
        QString error;
        QVERIFY2(emu->Start(QHostAddress(QStringLiteral("127.0.3.3")), 0,
                            QHostAddress(QStringLiteral("127.0.3.4")), 0, &error),
                 qPrintable(error));
        recv = std::make_unique<ILibRecv_DUD4004>();
        send = std::make_unique<iLibSend>();
        QSignalSpy rup(recv.get(), &Communication::ComConnected);
        QSignalSpy sup(send.get(), &Communication::ComConnected);
        recv->SetAddress(st_ComAddress{QStringLiteral("127.0.3.4"), emu->Rx().Port()});
        recv->Open();
        send->SetAddress(st_ComAddress{QStringLiteral("127.0.3.3"), emu->Tx().Port()});
        send->Open();
        QTRY_VERIFY(rup.count() == 1 && sup.count() == 1);
    }
    void cleanup()
    {
        recv.reset();
        send.reset();
        emu.reset();
    }

    void singleModeRepeats()
    {
        QSignalSpy sends(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy recvs(recv.get(), &ILibRecv_DUD4004::onRecvData);
        startRepeat(0, 0, true);
        QTRY_VERIFY(sends.count() == 1 && recvs.count() == 1);
        startRepeat(0, 0, false);
        QTRY_VERIFY(sends.count() == 2 && recvs.count() == 2);
        // Single acquisitions: both boxes are idle again, nothing more comes.
        QVERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        QCOMPARE(sends.count(), 2);
        QCOMPARE(recvs.count(), 2);
        const auto r = recvs.at(1).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r.DataType, 1);
        QCOMPARE(r.Values.size(), 656);
        const auto s = sends.at(1).at(0).value<st_TEMSendData>();
        QCOMPARE(s.BaseFreq, 25.0);
        QCOMPARE(s.SendData.size(), 500);
        QCOMPARE(s.OffData.size(), 500);
    }

    void continuousModeUntilStopped()
    {
        QSignalSpy sends(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy recvs(recv.get(), &ILibRecv_DUD4004::onRecvData);
        startRepeat(1, 1, false);
        QTRY_VERIFY(sends.count() >= 3 && recvs.count() >= 3);
        QSignalSpy rstop(recv.get(), &ILibRecv_DUD4004::onRecvStop);
        QSignalSpy tstop(send.get(), &iLibSend::TEM_Stoped);
        recv->RecvStop();
        send->TEM_Stop();
        QTRY_VERIFY(rstop.count() == 1 && tstop.count() == 1);
        // Each box pushed nothing after its stop, and what it pushed before
        // came ahead of the stop's answer on its link.
        QVERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        const auto rec = recvs.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(rec.DataType, 2);
        QCOMPARE(rec.Values.size(), 100);
    }

    void replacedPushesReachTheProtocols()
    {
        // The first acquisition's decay carries more samples than there are
        // gates and its waveform is cut short: both are dropped, and the
        // next acquisition arrives whole.
        emu->Rx().OverridePush(EmuReceiverBox::CmdData, QByteArray(2000 * 4 + 8, '\0'));
        emu->Tx().OverridePush(EmuTransmitterBox::CmdSendData, QByteArray(100, '\0'));
        QSignalSpy sends(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy recvs(recv.get(), &ILibRecv_DUD4004::onRecvData);
        startRepeat(0, 0, true);
        QTRY_VERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        // The second acquisition's sets follow the first's on each link.
        startRepeat(0, 0, false);
        QTRY_VERIFY(sends.count() == 1 && recvs.count() == 1);
        QCOMPARE(recvs.at(0).at(0).value<st_RecvData_DUD4004>().Values.size(), 656);
    }

    void monitorPushesWhileConnected()
    {
        QSignalSpy monitor(send.get(), &iLibSend::TEM_SendMonitor);
        emu->Tx().SetMonitorInterval(25);
        QTRY_VERIFY(monitor.count() >= 2);
    }

    void refusedStartPushesNothing()
    {
        emu->Tx().Refuse(EmuTransmitterBox::CmdStart, 1);
        QSignalSpy sends(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy recvs(recv.get(), &ILibRecv_DUD4004::onRecvData);
        QSignalSpy ts(send.get(), &iLibSend::TEM_Strated);
        st_TEMSendInfo ti;
        ti.BaseFreq = 25.0f;
        ti.Period = 25;
        send->TEM_Config(&ti);
        send->TEM_Strat();
        QVERIFY(ts.wait());
        QCOMPARE(ts.at(0).at(0).toBool(), false);
        QVERIFY(!emu->Tx().IsRunning());          // nothing was started to push
        QCOMPARE(sends.count(), 0);
        QCOMPARE(recvs.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSounding)
#include "tst_sounding.moc"
