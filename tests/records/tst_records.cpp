#include "DeviceRecords.h"

#include <QtTest>

// The wire records are sent byte for byte; their layout is fixed by the boxes.
class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void receiverConfigurationLayout()
    {
        st_RecvParam p;
        p.BaseFreq = 25.0f;
        p.Period = 16;
        p.SampleMode = 1;
        p.SendTime = 0x0102030405060708LL;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&p);
        for (int i = 16; i < 72; ++i)
            QCOMPARE(int(bytes[i]), 0);
        QCOMPARE(int(bytes[72]), 0x08);   // little-endian time stamp
        QCOMPARE(int(bytes[79]), 0x01);
        for (int i = 80; i < 88; ++i)
            QCOMPARE(int(bytes[i]), 0);
    }
    void transmitterConfigurationDefaults()
    {
        st_TEMSendInfo info;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
        QCOMPARE(int(bytes[8]), 1);
        QCOMPARE(int(bytes[9]), 1);
        for (int i = 10; i < 24; ++i)
            QCOMPARE(int(bytes[i]), 0);
    }
    void recordsTravelAsVariants()
    {
        registerDeviceRecordTypes();
        VODEZ_Data d;
        d.Recvs.append(st_RecvData_DUD4004{});
        d.Recvs.first().Values = {1.0, 2.0};
        const QVariant v = QVariant::fromValue(d);
        QCOMPARE(v.value<VODEZ_Data>().Recvs.first().Values.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
