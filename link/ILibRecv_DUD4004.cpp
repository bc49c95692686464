#include "ILibRecv_DUD4004.h"

#include "ComPayload.h"

#include <QDateTime>
#include <QtEndian>

#include <cstring>

namespace
{
enum : unsigned int {
    CmdConfig = 1,
    CmdStop = 2,
    CmdData = 3,
    CmdTimeChannel = 1000,
    CmdAutoChannel = 1001,
    CmdTimeSync = 2000,
};

// Any result word other than 0 is success; a reply too short to hold the
// word counts as a failed reply.
bool succeeded(const QByteArray* payload)
{
    quint32 code = 0;
    return ComPayload::ReadResult(*payload, &code) && code != 0;
}
}

ILibRecv_DUD4004::ILibRecv_DUD4004(QObject* parent)
    : Communication(parent)
{
    registerDeviceRecordTypes();
}

ILibRecv_DUD4004::~ILibRecv_DUD4004() = default;

QVector<double> ILibRecv_DUD4004::CalcAutoTimes(double F, double R, int N)
{
    return RecvGates::CalcAutoTimes(F, R, N);
}

void ILibRecv_DUD4004::SetAutoTimeChannel(float baseFreq, float sampleRate, int channelCount)
{
    RecvGates::Build(m_gates, baseFreq, sampleRate, channelCount);
}

void ILibRecv_DUD4004::SetAutoTimeChannelByIndex(float baseFreq, float sampleRate, int channelCount)
{
    RecvGates::BuildByIndex(m_gates, baseFreq, sampleRate, channelCount);
}

void ILibRecv_DUD4004::RecvConfig(st_RecvParam* param)
{
    if (!param)
        return;
    m_config = *param;
    // The reserved bytes go out as zeros whatever the caller left in them.
    std::memset(m_config.Reserved, 0, sizeof m_config.Reserved);
    std::memset(m_config.Reserved2, 0, sizeof m_config.Reserved2);
    m_config.SendTime = QDateTime::currentMSecsSinceEpoch();
    const QByteArray payload(reinterpret_cast<const char*>(&m_config), sizeof m_config);
    Request(CmdConfig, &payload);
}

void ILibRecv_DUD4004::RecvStop()
{
    Request(CmdStop, nullptr);
}

void ILibRecv_DUD4004::RecvTimeSync(double time)
{
    quint64 bits;
    std::memcpy(&bits, &time, sizeof bits);
    QByteArray payload(sizeof bits, '\0');
    qToLittleEndian<quint64>(bits, payload.data());
    Request(CmdTimeSync, &payload);
}

void ILibRecv_DUD4004::RecvConfig_AutoChannel(st_ConfigAutoTimeChannel_DUD4004* param)
{
    if (!param)
        return;
    m_autoChannel = *param;
    const QByteArray payload(reinterpret_cast<const char*>(&m_autoChannel), sizeof m_autoChannel);
    Request(CmdAutoChannel, &payload);
}

void ILibRecv_DUD4004::OnFrame(unsigned int cmd, bool ok, QByteArray* data)
{
    // A request given up: its frame may already be gone, and the controller
    // learns of it only by the missing signal.
    if (!ok || !data)
        return;
    switch (cmd) {
    case CmdConfig:
        emit onRecvConfiged(succeeded(data));
        break;
    case CmdStop:
        emit onRecvStop();
        break;
    case CmdData:
        OnFrame_RecvData(*data);
        break;
    case CmdTimeChannel:
        emit onRecvConfigTimeChannel(succeeded(data));
        break;
    case CmdAutoChannel:
        if (succeeded(data)) {
            SetAutoTimeChannel(m_autoChannel.BaseFreq, 625000.0f, m_autoChannel.ChannelCount);
            emit onRecvAutoChannel(true);
        } else {
            emit onRecvAutoChannel(false);
        }
        break;
    case CmdTimeSync:
        emit onRecvTimeSync(succeeded(data));
        break;
    default:
        break;
    }
}

void ILibRecv_DUD4004::OnFrame_RecvData(const QByteArray& payload)
{
    // Before the first configuration the zero configuration means gate mode
    // at 0 Hz; before the first gate table only an empty push passes, as a
    // record of data type 0 with no values (see ComPayload::DecodeRecvData).
    st_RecvData_DUD4004 record;
    if (ComPayload::DecodeRecvData(payload, m_config, m_gates,
                                   QDateTime::currentMSecsSinceEpoch(), &record))
        emit onRecvData(record);
}
