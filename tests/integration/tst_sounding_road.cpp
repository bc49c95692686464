// Whole soundings through the joined parts: the controller against the
// loopback instrument, the project tree keeping and saving what it uploads,
// the decay processor turning it into curves, and the project file read
// back by a fresh tree. The controller fixes the port (12345); the boxes
// listen on this test's own loopback addresses.

#include "CollectorProbe.h"
#include "EmuDevices.h"
#include "ILibRecv_DUD4004.h"
#include "ProjectFixture.h"
#include "RecordingPrompt.h"
#include "SoundingRig.h"
#include "ComDevice.h"
#include "iLibSend.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QState>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

const QString kTxAddress = InstrumentEmulator::RunAddress(10, 1);
const QString kRxAddress = InstrumentEmulator::RunAddress(10, 2);
const quint16 kPort = 12345;
const int kLongWait = 20000;
// What the operator reads when a sounding cannot be written to the project.
const QString kSaveFailed = QStringLiteral("数据添加失败,可能是工程文件损坏");

QVector<double> blob(const QVariant& v)
{
    return Data_Blob::ByteArrayToVector(v.toByteArray());
}

QVector<double> vec(const QVariant& v)
{
    return v.value<QVector<double> >();
}

// A warning box the operator reads for a while: its event loop runs inside
// the save, as a modal box's does.
class SlowPrompt : public RecordingPrompt
{
public:
    void warning(QWidget* parent, const QString& title, const QString& text) override
    {
        if (whileOpen) {
            auto once = std::move(whileOpen);
            whileOpen = nullptr;
            once();
        }
        QTest::qWait(300);
        RecordingPrompt::warning(parent, title, text);
    }
    // Runs once, when the first box opens.
    std::function<void()> whileOpen;
};

// A warning box the operator leaves open until something has happened.
class HoldingPrompt : public RecordingPrompt
{
public:
    void warning(QWidget* parent, const QString& title, const QString& text) override
    {
        if (onOpen)
            onOpen();
        if (holdUntil && !QTest::qWaitFor(holdUntil, kLongWait))
            QTest::qFail("the warning was held open in vain", __FILE__, __LINE__);
        RecordingPrompt::warning(parent, title, text);
    }
    std::function<void()> onOpen;
    std::function<bool()> holdUntil;
};

// What the boxes pushed, repeat by repeat: the transmitter's current
// waveforms and the receiver's decays with the repeat each was measured in,
// as the program decodes them.
struct PushLog
{
    QList<QVector<double> > waveforms;
    QList<QVector<double> > decays;
    QList<int> decayRepeat;
    QObject scope;

    static QVector<double> floatsAt(const QByteArray& payload, int offset, int count)
    {
        QVector<double> out;
        for (int k = 0; k < count && offset + 4 * (k + 1) <= payload.size(); ++k) {
            float f;
            const quint32 bits = qFromLittleEndian<quint32>(payload.constData() + offset + 4 * k);
            std::memcpy(&f, &bits, sizeof f);
            out << double(f);
        }
        return out;
    }

    explicit PushLog(DeviceEmulator& emu)
    {
        QObject::connect(&emu.Tx(), &EmulatedBox::pushed, &scope, [this](quint16 cmd, const QByteArray& p) {
            if (cmd == EmuTransmitterBox::CmdSendData)
                waveforms << floatsAt(p, 8, 500);
        });
        // The receiver records while the transmitter's acquisition ends.
        QObject::connect(&emu.Rx(), &EmulatedBox::pushed, &scope, [this](quint16 cmd, const QByteArray& p) {
            if (cmd != EmuReceiverBox::CmdData)
                return;
            decays << floatsAt(p, 0, p.size() / 4 - 2);
            decayRepeat << waveforms.size() - 1;
        });
    }

    // The repeats a stored row's waveform and decay come from (-1: none).
    QPair<int, int> repeatsOf(const QVector<double>& send, const QVector<double>& recv) const
    {
        int recvRepeat = -1;
        for (int j = 0; j < decays.size(); ++j) {
            if (!recv.isEmpty() && decays.at(j).mid(0, 8) == recv.mid(0, 8))
                recvRepeat = decayRepeat.at(j);
        }
        return qMakePair(int(waveforms.indexOf(send)), recvRepeat);
    }
};

} // namespace

class TstSoundingRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;
    std::unique_ptr<RecordingPrompt> prompt;
    std::unique_ptr<DeviceEmulator> emu;
    std::unique_ptr<SoundingRig> rig;
    QList<VODEZ_Data> uploads;

    QString newFile() { return dir.filePath(QStringLiteral("road-%1.VODEZ").arg(files++)); }
    VODEZ_Collector* c() const { return rig->collector; }
    DataModel_Index* tree() const { return rig->dataModel; }
    VODEZ_Collector::VODEZSampleStatus status() const { return c()->GetSampleStatus(); }

    bool in(const char* state) const { return inState(*c(), state); }

    // What opening a project does: the file opens, then connect is pressed.
    bool openAndConnect(const QString& file)
    {
        if (!tree()->openProject(file))
            return false;
        if (!QTest::qWaitFor([this] { return in("DeviceWaitSet"); }, kLongWait))
            return false;
        emit c()->onBtnConnect();
        return QTest::qWaitFor([this] { return status() == VODEZ_Collector::IDLE; }, kLongWait);
    }

    // Start pressed; true once the finished single sounding waits for the
    // operator.
    bool soundToTheEnd()
    {
        emit c()->onBtnSampleStart();
        return QTest::qWaitFor([this] { return status() == VODEZ_Collector::UPLOAD; }, kLongWait);
    }

    void setSounding(double fs, int period, int repeats)
    {
        c()->setProperty("ParamFs", fs);
        c()->setProperty("ParamPeriod", period);
        c()->setProperty("ParamRepeat", repeats);
    }

    // The sample rows of a file match the sets of a sounding, one row per
    // set in order.
    void compareSamples(const QString& file, const VODEZ_Data& d, int pointId)
    {
        SideDb db(file);
        const QList<QVariantList> rows = db.rows(QStringLiteral(
            "SELECT Data_PointID, StartTime, DeviceType, TYPE, PERIOD, SendFs, SampleSendFs, SampleOffFs, RecvFs, "
            "USE, DATA_RECV, DATA_RECV_POS, DATA_RECV_LEN, DATA_SEND, DATA_SOFF FROM Data_Sample "
            "WHERE Data_PointID = %1 ORDER BY ID").arg(pointId));
        QCOMPARE(rows.size(), d.Recvs.size());
        for (int k = 0; k < rows.size(); ++k) {
            const QVariantList& r = rows.at(k);
            const st_RecvData_DUD4004& recv = d.Recvs.at(k);
            const st_TEMSendData& send = d.Sends.at(k);
            QCOMPARE(r.at(0).toInt(), pointId);
            QCOMPARE(r.at(1).toLongLong(), d.Recvs.first().RecvTime);
            QCOMPARE(r.at(2).toInt(), 1);
            QCOMPARE(r.at(3).toInt(), d.Recvs.first().DataType);
            QCOMPARE(r.at(4).toInt(), d.ParamPeriod);
            QCOMPARE(r.at(5).toDouble(), double(d.ParamFs));
            QCOMPARE(r.at(6).toDouble(), send.SampleSendFs);
            QCOMPARE(r.at(7).toDouble(), send.SampleOffFs);
            QCOMPARE(r.at(8).toDouble(), d.Recvs.first().SampleRate);
            QCOMPARE(r.at(9).toInt(), 1);
            QVERIFY(!recv.Values.isEmpty());
            QCOMPARE(blob(r.at(10)), recv.Values);
            QCOMPARE(blob(r.at(11)), recv.Times);
            QCOMPARE(blob(r.at(12)), recv.Widths);
            QCOMPARE(blob(r.at(13)), send.SendData);
            QCOMPARE(blob(r.at(14)), send.OffData);
        }
    }

    // A processed decay as the plots get it: gate times rising, values
    // finite and inside the clamp, falling by orders of magnitude.
    static void checkDecayCurve(const QVector<double>& x, const QVector<double>& y)
    {
        QVERIFY(x.size() >= 10);
        QCOMPARE(y.size(), x.size());
        for (int i = 0; i < x.size(); ++i) {
            QVERIFY2(std::isfinite(x[i]) && x[i] > 0.0, qPrintable(QString::number(x[i])));
            QVERIFY2(std::isfinite(y[i]) && std::abs(y[i]) >= 1.1e-9 && std::abs(y[i]) <= 10.0,
                     qPrintable(QString::number(y[i])));
            if (i > 0) {
                QVERIFY(x[i] > x[i - 1]);
                QVERIFY2(y[i] <= y[i - 1], qPrintable(QStringLiteral("%1 > %2 at %3").arg(y[i]).arg(y[i - 1]).arg(i)));
            }
        }
        QVERIFY(y.first() > 100.0 * y.last());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QCOMPARE(SoundingRig::StartUp(kTxAddress, kRxAddress), QSettings::NoError);
    }

    void init()
    {
        uploads.clear();
        prompt = std::make_unique<RecordingPrompt>();
        emu = std::make_unique<DeviceEmulator>();
        emu->Tx().SetMonitorInterval(0);
        emu->SetCycleMs(60);
        // Noise-free boxes: every repeat of a sounding is the same, so the
        // curve of a stored point can be held against the live one.
        emu->Rx().decayModel.relativeNoise = 0.0;
        emu->Rx().decayModel.noiseFloor = 0.0;
        emu->Tx().currentModel.noise = 0.0;
        QString error;
        QVERIFY2(emu->Start(QHostAddress(kTxAddress), kPort, QHostAddress(kRxAddress), kPort, &error),
                 qPrintable(error));

        rig = std::make_unique<SoundingRig>();
        QVERIFY2(rig->faults.isEmpty(), qPrintable(rig->faults.join(QLatin1Char(' '))));
        // No link may ever head for the built-in instrument addresses.
        QVERIFY(rig->AddressesAreLoopback());
        QCOMPARE(c()->GetDeviceIP_Send(), kTxAddress);
        QCOMPARE(c()->GetDeviceIP_Recv(), kRxAddress);
        connect(c(), &VODEZ_Collector::dataUpload, this, [this](VODEZ_Data d) { uploads << d; });
    }

    void cleanup()
    {
        rig.reset();
        emu.reset();
        prompt.reset();
    }

    void singleSoundingIsShownAndSaved()
    {
        const QString file = newFile();
        setSounding(62.5, 25, 2);
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 10.0);
        tree()->setProperty("PointNo", 20.0);
        {
            // Both links up: the tree noted the network they run over.
            SideDb db(file);
            QCOMPARE(db.value(QStringLiteral("SELECT SSID FROM Data_Project WHERE ID = 1")).toString(),
                     DataModel_Index::GetWifiSSID());
        }
        rig->graphData->clear();
        rig->graphSend->clear();
        rig->graphOff->clear();
        rig->graphClear->clear();

        QVERIFY(soundToTheEnd());
        QVERIFY(in("SampleWaitSave"));
        QCOMPARE(uploads.size(), 2);
        const VODEZ_Data& d = uploads.last();
        QCOMPARE(d.Sends.size(), 2);
        QCOMPARE(d.Recvs.size(), 2);
        QCOMPARE(int(d.SampleMode), 0);
        QCOMPARE(d.Recvs.first().DataType, 1);

        // The tree keeps the latest record and shows its values.
        QCOMPARE(tree()->KeptData().Recvs.size(), 2);
        QCOMPARE(tree()->GetParamFs(), QStringLiteral("62.5"));
        QCOMPARE(tree()->GetParamPeriod(), 25);
        QCOMPARE(tree()->GetParamRepeat(), 2);
        QVERIFY2(std::abs(tree()->GetSendI().toDouble() - emu->Tx().currentModel.amplitude) < 0.5,
                 qPrintable(tree()->GetSendI()));
        QCOMPARE(tree()->GetSendOff(), Data_Calc::CalcOffTimeMean(d.Sends));
        QVERIFY(tree()->GetSendOff() > 0.0 && tree()->GetSendOff() < 1000.0);

        // One cleared, logarithmic plot per upload, with the current decay.
        QCOMPARE(rig->graphClear->count(), 2);
        QCOMPARE(rig->graphAxisScale->last(), (QVariantList{true, true}));
        QCOMPARE(rig->graphData->count(), 2);
        QCOMPARE(rig->graphData->last().at(0).toString(), QStringLiteral("0"));
        QCOMPARE(rig->graphTitle->last().at(0).toString(), QStringLiteral("当前采集"));
        checkDecayCurve(vec(rig->graphData->last().at(1)), vec(rig->graphData->last().at(2)));
        QCOMPARE(rig->graphSend->count(), 2);
        QCOMPARE(vec(rig->graphSend->last().at(1)), d.Sends.first().SendData);
        QCOMPARE(rig->graphOff->count(), 2);
        QVERIFY(!vec(rig->graphOff->last().at(1)).isEmpty());
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));

        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QVERIFY(in("SampleWaitParam"));
        QCOMPARE(c()->GetProgress(), 0);
        QVERIFY(tree()->KeptData().Recvs.isEmpty());
        QCOMPARE(prompt->shown.size(), 0);
        QCOMPARE(tree()->property("PointNo").toDouble(), 30.0);

        QCOMPARE(rowCounts(file), QStringLiteral("L1,P1,S2"));
        int pointId = 0;
        {
            SideDb db(file);
            const QList<QVariantList> line = db.rows(QStringLiteral("SELECT ID, NAME, TYPE, USE FROM Data_Line"));
            QCOMPARE(line.first().mid(1), (QVariantList{10.0, 0, 1}));
            const QList<QVariantList> point =
                db.rows(QStringLiteral("SELECT ID, NAME, TYPE, USE, Data_LineID FROM Data_Point"));
            QCOMPARE(point.first().at(1).toDouble(), 20.0);
            QCOMPARE(point.first().at(2).toInt(), 0);
            QCOMPARE(point.first().at(3).toInt(), 1);
            QCOMPARE(point.first().at(4).toInt(), line.first().at(0).toInt());
            pointId = point.first().at(0).toInt();
        }
        compareSamples(file, d, pointId);
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(tree()->topLevelItemCount(), 1);
        QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("10 (1点)"));
        QCOMPARE(tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("20"));
        QCOMPARE(tree()->topLevelItem(0)->child(0)->childCount(), 2);
        // The point is stamped with the receiver's clock of its first set.
        const qint64 stamp = d.Recvs.first().RecvTime;
        QVERIFY(qAbs(stamp - QDateTime::currentMSecsSinceEpoch()) < 60000);
        QCOMPARE(tree()->topLevelItem(0)->child(0)->toolTip(0),
                 QDateTime::fromMSecsSinceEpoch(stamp).toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")));

        // The next sounding starts from the waiting state and goes to the
        // next point.
        uploads.clear();
        c()->setProperty("ParamRepeat", 1);
        QVERIFY(soundToTheEnd());
        QCOMPARE(uploads.size(), 1);
        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P2,S3"));
        QCOMPARE(tree()->topLevelItem(0)->child(1)->text(0), QStringLiteral("30"));
        QCOMPARE(tree()->property("PointNo").toDouble(), 40.0);

        // Choosing the line again brings its stored parameters back to the
        // controller.
        setSounding(25.0, 50, 1);
        tree()->slotLineNoChanged(10.0);
        QCOMPARE(c()->GetParamFs(), 62.5);
        QCOMPARE(c()->GetParamPeriod(), 25);
        QCOMPARE(c()->GetContinueMode(), VODEZ_Collector::Single);
        QCOMPARE(tree()->property("PointNo").toDouble(), 40.0);
    }

    void reopenedProjectShowsTheLiveCurve_data()
    {
        QTest::addColumn<int>("sampleMode");
        QTest::newRow("TEM") << int(VODEZ_Collector::TEM);
        QTest::newRow("self-check") << int(VODEZ_Collector::SelfCheck);
    }
    void reopenedProjectShowsTheLiveCurve()
    {
        QFETCH(int, sampleMode);
        const bool tem = sampleMode == VODEZ_Collector::TEM;
        const QString file = newFile();
        setSounding(62.5, 25, 2);
        c()->setProperty("SampleMode", sampleMode);
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 10.0);
        tree()->setProperty("PointNo", 20.0);
        QVERIFY(soundToTheEnd());
        QCOMPARE(int(uploads.last().SampleMode), sampleMode);
        QCOMPARE(rig->graphAxisScale->last(), (QVariantList{tem, tem}));
        const QVariantList live = rig->graphData->last();
        const QVariantList liveSend = rig->graphSend->last();
        const QString sendI = tree()->GetSendI();
        const double sendOff = tree()->GetSendOff();
        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        tree()->closeProject();

        // A fresh program: tree and processor only, the project opened again.
        SoundingRig again(false);
        QVERIFY2(again.faults.isEmpty(), qPrintable(again.faults.join(QLatin1Char(' '))));
        DataModel_Index* t = again.dataModel;
        QVERIFY(t->openProject(file));
        QCOMPARE(t->topLevelItemCount(), 1);
        QCOMPARE(t->topLevelItem(0)->text(0), QStringLiteral("10 (1点)"));
        QTreeWidgetItem* pointItem = t->topLevelItem(0)->child(0);
        QVERIFY(pointItem);
        QCOMPARE(pointItem->text(0), tem ? QStringLiteral("20") : QStringLiteral("20(自检)"));
        t->expandItem(pointItem);   // a point shows its samples once expanded
        QCOMPARE(pointItem->childCount(), 2);
        QCOMPARE(pointItem->child(1)->text(0), QStringLiteral("2"));

        t->setIndex(0, 0, -1);
        QCOMPARE(again.graphData->last().at(0).toString(), QStringLiteral("10线 20点"));
        QCOMPARE(again.graphTitle->last().at(0).toString(), QStringLiteral("10线 20点"));
        QCOMPARE(again.graphAxisScale->last(), (QVariantList{tem, tem}));
        // The point stacks its samples as they were uploaded; a TEM sounding
        // of the noise-free boxes repeats itself, so that is the live curve.
        QVector<double> stacked = again.dataCalc->StackRecvData(uploads.last().Recvs);
        QVector<double> times = uploads.last().Recvs.first().Times;
        Data_Calc::CalcDecay(stacked, times, sendOff, sampleMode);
        QCOMPARE(vec(again.graphData->last().at(1)), times);
        QCOMPARE(vec(again.graphData->last().at(2)), stacked);
        if (tem) {
            QCOMPARE(vec(again.graphData->last().at(1)), vec(live.at(1)));
            QCOMPARE(vec(again.graphData->last().at(2)), vec(live.at(2)));
        }
        QCOMPARE(t->GetSendI(), sendI);
        QCOMPARE(t->GetSendOff(), sendOff);
        QCOMPARE(t->GetParamFs(), QStringLiteral("62.5"));
        QCOMPARE(t->GetParamPeriod(), 25);
        QCOMPARE(t->GetParamRepeat(), 2);
        QCOMPARE(again.graphSend->last().at(0).toDouble(), liveSend.at(0).toDouble());
        QCOMPARE(vec(again.graphSend->last().at(1)), vec(liveSend.at(1)));

        // Its second sample alone is the last repeat that was plotted live.
        t->setIndex(0, 0, 1);
        QCOMPARE(again.graphData->last().at(0).toString(), QStringLiteral("10线 20点 2采样"));
        QCOMPARE(vec(again.graphData->last().at(1)), vec(live.at(1)));
        QCOMPARE(vec(again.graphData->last().at(2)), vec(live.at(2)));
        QCOMPARE(t->GetParamRepeat(), 1);
    }

    void continuousRunSavesEachPairAsAPoint()
    {
        const QString file = newFile();
        setSounding(62.5, 25, 3);
        c()->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 30.0);
        emit c()->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 3, kLongWait);
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        c()->onBtnSampleStop();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().IsRunning() && !emu->Rx().IsArmed(), kLongWait);
        QTest::qWait(300);   // nothing that still arrives may be saved
        const int n = uploads.size();
        QCOMPARE(c()->GetParamRepeat(), 1);
        QCOMPARE(prompt->shown.size(), 0);

        QCOMPARE(rowCounts(file), QStringLiteral("L1,P%1,S%1").arg(n));
        {
            SideDb db(file);
            QCOMPARE(db.rows(QStringLiteral("SELECT NAME, TYPE FROM Data_Line")).first(), (QVariantList{30.0, 1}));
            const QList<QVariantList> points =
                db.rows(QStringLiteral("SELECT ID, NAME, TYPE FROM Data_Point ORDER BY ID"));
            for (int k = 0; k < n; ++k) {
                QCOMPARE(points.at(k).at(1).toDouble(), double(k));
                QCOMPARE(points.at(k).at(2).toInt(), 0);
                QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Sample WHERE Data_PointID = %1")
                                      .arg(points.at(k).at(0).toInt())).toInt(),
                         1);
            }
            for (int k = 0; k < n; ++k) {
                QCOMPARE(uploads.at(k).Recvs.size(), 1);
                QCOMPARE(int(uploads.at(k).ContinueMode), 1);
                compareSamples(file, uploads.at(k), points.at(k).at(0).toInt());
                if (QTest::currentTestFailed())
                    return;
            }
        }
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QCOMPARE(tree()->topLevelItem(0)->childCount(), n);
        QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("30 (%1点)").arg(n));

        // Each pair is plotted as it comes, under its time, and joins the
        // history of the run.
        QCOMPARE(rig->graphData->count(), n);
        QVERIFY(rig->graphTitle->last().at(0).toString() != QStringLiteral("当前采集"));
        QCOMPARE(rig->graphLine->count(), n);
        QVERIFY(!rig->graphLine->last().at(0).value<QVector<QVector<double> > >().isEmpty());
        checkDecayCurve(vec(rig->graphData->last().at(1)), vec(rig->graphData->last().at(2)));

        // A point of the run chosen in the tree is the curve plotted live,
        // with its stretch of the line around it.
        const int k = n - 1;
        const QVariantList live = rig->graphData->at(k);
        rig->lineSections->clear();
        tree()->setIndex(0, k, -1);
        QVERIFY(rig->graphData->last().at(0).toString().startsWith(QStringLiteral("30线 ")));
        QCOMPARE(vec(rig->graphData->last().at(1)), vec(live.at(1)));
        QCOMPARE(vec(rig->graphData->last().at(2)), vec(live.at(2)));
        QCOMPARE(rig->lineSections->count(), 1);
        QCOMPARE(rig->lineSections->last().at(4).toInt(), k);
        QCOMPARE(vec(rig->lineSections->last().at(1)).size(), n);

        // Choosing the line again sets the controller up for a continuous run.
        c()->setProperty("ContinueMode", int(VODEZ_Collector::Single));
        c()->setProperty("ParamFs", 25.0);
        tree()->slotLineNoChanged(30.0);
        QCOMPARE(c()->GetParamFs(), 62.5);
        QCOMPARE(c()->GetContinueMode(), VODEZ_Collector::Continue);
    }

    void heldLinkStoresEachRepeatWhole_data()
    {
        QTest::addColumn<bool>("continuous");
        QTest::addColumn<bool>("holdReceiver");
        QTest::newRow("continuous, receiver held") << true << true;
        QTest::newRow("continuous, transmitter held") << true << false;
        QTest::newRow("single, transmitter held") << false << false;
    }

    void heldLinkStoresEachRepeatWhole()
    {
        // One link stalls for 2.5 s, as Wi-Fi does, and then delivers what
        // it held: every stored row's waveform and decay are from the same
        // repeat, and a continuous run stores every repeat.
        QFETCH(bool, continuous);
        QFETCH(bool, holdReceiver);
        EmulatedBox& held = holdReceiver ? static_cast<EmulatedBox&>(emu->Rx()) : emu->Tx();
        // The boxes take the sounding's own time, and no two repeats are alike.
        emu->SetCycleMs(-1);
        emu->Rx().decayModel.relativeNoise = 0.01;
        emu->Tx().currentModel.noise = 0.002;
        PushLog pushes(*emu);
        QObject scope;
        int heldFrom = -1;      // the repeats pushed when the link stalled
        int heldUntil = -1;     // and when it came back
        auto stall = [&] {
            heldFrom = pushes.waveforms.size();
            held.HoldDeliveries(true);
            QTimer::singleShot(2500, &scope, [&] {
                heldUntil = pushes.waveforms.size();
                held.HoldDeliveries(false);
            });
        };

        const QString file = newFile();
        setSounding(62.5, 25, continuous ? 1 : 3);    // 400 ms a repeat
        c()->setProperty("ContinueMode", int(continuous ? VODEZ_Collector::Continue : VODEZ_Collector::Single));
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 60.0);
        int rows = 0;
        if (continuous) {
            emit c()->onBtnSampleStart();
            QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 2, kLongWait);
            stall();
            QTRY_VERIFY_WITH_TIMEOUT(heldUntil >= 0, kLongWait);
            QVERIFY2(heldUntil >= heldFrom + 4, "the stall held back too few repeats");
            QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= heldUntil + 1, kLongWait);
            c()->onBtnSampleStop();
            QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().IsRunning() && !emu->Rx().IsArmed(), kLongWait);
            rows = uploads.size();
        } else {
            // The second repeat's start, its answer and its waveform are held.
            int starts = 0;
            connect(&emu->Tx(), &EmuTransmitterBox::started, &scope, [&] {
                if (++starts == 2)
                    stall();
            });
            QVERIFY(soundToTheEnd());
            QCOMPARE(heldFrom, 1);
            QCOMPARE(heldUntil, 2);
            emit c()->onBtnSaveOK();
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
            rows = 3;
        }
        QCOMPARE(prompt->shown.size(), 0);

        SideDb db(file);
        const QList<QVariantList> stored =
            db.rows(QStringLiteral("SELECT DATA_SEND, DATA_RECV FROM Data_Sample ORDER BY ID"));
        QCOMPARE(stored.size(), rows);
        for (int k = 0; k < stored.size(); ++k) {
            const QPair<int, int> repeats = pushes.repeatsOf(blob(stored.at(k).at(0)), blob(stored.at(k).at(1)));
            QVERIFY2(repeats.first == k && repeats.second == k,
                     qPrintable(QStringLiteral("row %1: waveform of repeat %2, decay of repeat %3")
                                    .arg(k).arg(repeats.first).arg(repeats.second)));
        }
    }

    void continuousRunKeepsWhatItCannotStore()
    {
        // A continuous run into a file that refuses samples: one warning,
        // however many pairs come in while it is open; the run stops and its
        // pairs wait for the operator, who saves them once the file takes
        // them again, each as its own point.
        prompt.reset();
        prompt = std::make_unique<SlowPrompt>();
        emu->SetCycleMs(40);
        const QString file = newFile();
        setSounding(62.5, 25, 1);
        c()->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 40.0);
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Data_Sample BEGIN "
                                           "SELECT RAISE(ABORT, 'refused'); END")));
        }
        prompt->expect(Prompt::Kind::Warning).saying(kSaveFailed);
        emit c()->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(in("SampleWaitSave"), kLongWait);
        QCOMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().IsRunning() && !emu->Rx().IsArmed(), kLongWait);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));
        QCOMPARE(uploads.size(), 1);                // only the failed pair was handed on
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("DROP TRIGGER refuse")));
        }

        uploads.clear();
        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 1);
        const int n = uploads.size();
        QVERIFY(n >= 1);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P%1,S%1").arg(n));
        SideDb db(file);
        const QList<QVariantList> points = db.rows(QStringLiteral("SELECT ID FROM Data_Point ORDER BY ID"));
        for (int k = 0; k < n; ++k) {
            QCOMPARE(uploads.at(k).Recvs.size(), 1);
            compareSamples(file, uploads.at(k), points.at(k).at(0).toInt());
            if (QTest::currentTestFailed())
                return;
        }
    }

    void continuousRunKeepsEveryPairThroughAFailedSave_data()
    {
        QTest::addColumn<bool>("warnedLinkCloses");
        QTest::newRow("links stay up") << false;
        QTest::newRow("the link the warning came through closes") << true;
    }

    void continuousRunKeepsEveryPairThroughAFailedSave()
    {
        // The project file's disk fills after three pairs. The boxes take a
        // while to act on their stop and the operator leaves the warning open
        // until they have: every pair they measured is stored after the
        // operator's save, each as its own point. The warning runs inside
        // the receive pass of the box whose set completed the failed pair;
        // that box may also let its link go once it has answered its stop,
        // its last sets and its answer still unread behind the warning.
        QFETCH(bool, warnedLinkCloses);
        prompt.reset();
        auto* holding = new HoldingPrompt;
        prompt.reset(holding);
        emu->SetCycleMs(40);
        emu->Tx().Lag(EmuTransmitterBox::CmdStop, 600);
        emu->Rx().Lag(EmuReceiverBox::CmdStop, 700);   // no waveform goes without its decay
        int measured = 0;
        connect(&emu->Tx(), &EmuTransmitterBox::cycleCompleted, this, [&] {
            if (emu->Rx().IsArmed())
                ++measured;
        });
        int measuredAtWarning = -1;
        EmuDeviceBox* warnedBox = nullptr;
        QTcpSocket* warnedSocket = nullptr;
        holding->onOpen = [&] {
            measuredAtWarning = measured;
            if (!warnedLinkCloses)
                return;
            Communication* rxLink = c()->findChild<ILibRecv_DUD4004*>();
            Communication* txLink = c()->findChild<iLibSend*>();
            const bool viaReceiver = rxLink->findChild<ComDevice*>()->Status().Test(ComStatus::Receiving);
            warnedBox = viaReceiver ? static_cast<EmuDeviceBox*>(&emu->Rx()) : &emu->Tx();
            warnedSocket = (viaReceiver ? rxLink : txLink)->findChild<QTcpSocket*>();
            // The answer to the stop goes out first, then the link.
            auto closeAfterAnswer = [warnedBox] {
                QTimer::singleShot(0, warnedBox, [warnedBox] { warnedBox->CloseClientAfterWrites(); });
            };
            if (viaReceiver)
                connect(&emu->Rx(), &EmuReceiverBox::stopped, this, closeAfterAnswer);
            else
                connect(&emu->Tx(), &EmuTransmitterBox::stopped, this, closeAfterAnswer);
        };
        holding->holdUntil = [&] {
            return !emu->Tx().IsRunning() && !emu->Rx().IsArmed()
                && (!warnedSocket || warnedSocket->state() == QAbstractSocket::UnconnectedState);
        };
        QSignalSpy txStopped(c()->findChild<iLibSend*>(), &iLibSend::TEM_Stoped);
        QSignalSpy rxStopped(c()->findChild<ILibRecv_DUD4004*>(), &ILibRecv_DUD4004::onRecvStop);

        const QString file = newFile();
        setSounding(62.5, 25, 1);
        c()->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 50.0);
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON Data_Sample "
                                           "WHEN (SELECT count(*) FROM Data_Sample) >= 3 BEGIN "
                                           "SELECT RAISE(ABORT, 'disk full'); END")));
        }
        prompt->expect(Prompt::Kind::Warning).saying(kSaveFailed);
        emit c()->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(prompt->count(Prompt::Kind::Warning) == 1, kLongWait);
        QVERIFY(in("SampleWaitSave"));
        QVERIFY2(measured > measuredAtWarning, "no pair came in while the warning was open");
        // Everything the boxes sent before their stop answers is in.
        QTRY_VERIFY_WITH_TIMEOUT(txStopped.count() == 1 && rxStopped.count() == 1, kLongWait);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P3,S3"));
        QCOMPARE(uploads.size(), 4);                // three stored, the fourth refused
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("DROP TRIGGER full")));
        }

        QList<VODEZ_Data> stored = uploads.mid(0, 3);
        uploads.clear();
        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        stored += uploads;
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 1);
        QCOMPARE(stored.size(), measured);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P%1,S%1").arg(measured));
        {
            SideDb db(file);
            const QList<QVariantList> points = db.rows(QStringLiteral("SELECT ID FROM Data_Point ORDER BY ID"));
            for (int k = 0; k < measured; ++k) {
                QCOMPARE(stored.at(k).Recvs.size(), 1);
                compareSamples(file, stored.at(k), points.at(k).at(0).toInt());
                if (QTest::currentTestFailed())
                    return;
            }
        }
        if (!warnedLinkCloses)
            return;

        // The link comes back once the pairs are decided; the box answered
        // its stop before it left, so the next run tells it nothing more.
        QVERIFY(warnedBox);
        QTRY_VERIFY_WITH_TIMEOUT(warnedBox->ConnectionsAccepted() == 2 && status() == VODEZ_Collector::IDLE,
                                 kLongWait);
        emu->Tx().SetRule(EmuTransmitterBox::CmdStop, EmuRule());
        emu->Rx().SetRule(EmuReceiverBox::CmdStop, EmuRule());
        const int stopsBefore = emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size()
            + emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size();
        QCOMPARE(stopsBefore, 2);
        uploads.clear();
        emit c()->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(!uploads.isEmpty(), kLongWait);
        QCOMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);
        QCOMPARE(emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(), 1);
        c()->onBtnSampleStop();
    }

    void linkLostWhileAFailedSaveIsShown()
    {
        // A continuous run into a file that refuses every sample; while the
        // first warning is open the transmitter's link drops. Nothing is
        // lost: the pairs wait for the operator, and the link is re-opened
        // once they are saved.
        prompt.reset();   // a prompt installs itself while it lives
        auto* slow = new SlowPrompt;
        prompt.reset(slow);
        slow->whileOpen = [this] { emu->Tx().CloseClient(); };
        const QString file = newFile();
        setSounding(62.5, 25, 1);
        c()->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 30.0);
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Data_Sample BEGIN "
                                           "SELECT RAISE(ABORT, 'refused'); END")));
        }
        prompt->expect(Prompt::Kind::Warning).saying(kSaveFailed);
        emit c()->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(!prompt->shown.isEmpty(), kLongWait);
        QTRY_VERIFY_WITH_TIMEOUT(in("SampleWaitSave") && emu->Tx().ConnectionsAccepted() == 1
                                     && !emu->Tx().HasClient(),
                                 kLongWait);
        QCOMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("DROP TRIGGER refuse")));
        }

        uploads.clear();
        emit c()->onBtnSaveOK();
        QTRY_VERIFY_WITH_TIMEOUT(emu->Tx().ConnectionsAccepted() == 2 && status() == VODEZ_Collector::IDLE
                                     && in("SampleWaitParam") && c()->GetStatusConnect() == kOnline,
                                 kLongWait);
        const int n = uploads.size();
        QVERIFY(n >= 1);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P%1,S%1").arg(n));
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 1);
        QCOMPARE(c()->GetProgress(), 0);
        QCOMPARE(c()->GetProgressMax(), 0);
        // A transmitter whose stop may have gone down with its link is told again.
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().IsRunning() && !emu->Rx().IsArmed(), kLongWait);
    }

    void failedSaveKeepsTheSoundingForARetry_data()
    {
        QTest::addColumn<bool>("slowBox");
        QTest::newRow("warning answered at once") << false;
        QTest::newRow("warning open a while") << true;
    }
    void failedSaveKeepsTheSoundingForARetry()
    {
        QFETCH(bool, slowBox);
        if (slowBox) {
            prompt.reset();
            prompt = std::make_unique<SlowPrompt>();
        }
        const QString file = newFile();
        setSounding(62.5, 25, 2);
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 10.0);
        tree()->setProperty("PointNo", 20.0);
        QVERIFY(soundToTheEnd());
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Data_Sample BEGIN "
                                           "SELECT RAISE(ABORT, 'refused'); END")));
        }
        QSignalSpy failed(tree(), &DataModel_Index::onSaveFailed);
        prompt->expect(Prompt::Kind::Warning).saying(kSaveFailed);
        emit c()->onBtnSaveOK();
        QCOMPARE(failed.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(in("SampleWaitSave"), kLongWait);
        // The failed save's own follow-ups are queued events: run them all,
        // then nothing further may have moved.
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
        QVERIFY(in("SampleWaitSave"));
        QCOMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 1);
        QCOMPARE(tree()->KeptData().Recvs.size(), 2);
        QCOMPARE(tree()->property("PointNo").toDouble(), 20.0);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("DROP TRIGGER refuse")));
        }

        emit c()->onBtnSaveOK();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P1,S2"));
        int pointId = 0;
        {
            SideDb db(file);
            pointId = db.value(QStringLiteral("SELECT ID FROM Data_Point WHERE NAME = 20")).toInt();
        }
        QVERIFY(pointId > 0);
        compareSamples(file, uploads.last(), pointId);
        QCOMPARE(tree()->property("PointNo").toDouble(), 30.0);
        QCOMPARE(tree()->topLevelItem(0)->child(0)->childCount(), 2);
    }

    void discardWritesNothing_data()
    {
        QTest::addColumn<bool>("stopMidway");
        QTest::newRow("cancel at the end") << false;
        QTest::newRow("stop after the first repeat") << true;
    }
    void discardWritesNothing()
    {
        QFETCH(bool, stopMidway);
        const QString file = newFile();
        setSounding(62.5, 25, 2);
        QVERIFY(openAndConnect(file));
        tree()->setProperty("LineNo", 10.0);
        tree()->setProperty("PointNo", 20.0);
        QSignalSpy over(tree(), &DataModel_Index::onSaveOver);
        QByteArray before;
        if (stopMidway) {
            // The operator's stop comes in through the event loop, well
            // before the second repeat can be configured and recorded.
            connect(c(), &VODEZ_Collector::dataUpload, this, [this] {
                QTimer::singleShot(0, c(), &VODEZ_Collector::onBtnSampleStop);
            });
            before = fileHash(file);
            emit c()->onBtnSampleStart();
            QTRY_VERIFY_WITH_TIMEOUT(!uploads.isEmpty(), kLongWait);
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
            QCOMPARE(uploads.size(), 1);
            QCOMPARE(tree()->GetParamRepeat(), 1);   // it was shown meanwhile
        } else {
            QVERIFY(soundToTheEnd());
            before = fileHash(file);
            emit c()->onBtnSaveCancel();
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        }
        QVERIFY(in("SampleWaitParam"));
        QCOMPARE(over.count(), 0);
        QVERIFY(tree()->KeptData().Recvs.isEmpty());
        QCOMPARE(tree()->property("PointNo").toDouble(), 20.0);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));
        QCOMPARE(fileHash(file), before);
        QCOMPARE(prompt->shown.size(), 0);
    }
};

QTEST_MAIN(TstSoundingRoad)
#include "tst_sounding_road.moc"
