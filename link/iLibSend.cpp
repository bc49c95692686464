#include "iLibSend.h"

#include "ComPayload.h"

namespace
{
enum : unsigned int {
    CmdDeviceInfo = 0,
    CmdConfig = 1,
    CmdStart = 2,
    CmdStop = 5,
    CmdSendData = 6,
    CmdMonitor = 240,
};
}

iLibSend::iLibSend(QObject* parent)
    : Communication(parent)
{
    registerDeviceRecordTypes();
}

iLibSend::~iLibSend() = default;

void iLibSend::TEM_Config(st_TEMSendInfo* info)
{
    if (!info)
        return;
    m_baseFreq = double(info->BaseFreq);
    const QByteArray payload(reinterpret_cast<const char*>(info), sizeof *info);
    Request(CmdConfig, &payload);
}

void iLibSend::TEM_Strat()
{
    Request(CmdStart, nullptr);
}

void iLibSend::TEM_Stop()
{
    Request(CmdStop, nullptr);
}

void iLibSend::GetDeviceInfo()
{
    Request(CmdDeviceInfo, nullptr);
}

void iLibSend::OnFrame(unsigned int cmd, bool ok, QByteArray* data)
{
    if (!ok || !data)
        return;
    switch (cmd) {
    case CmdDeviceInfo:
        ParseDeviceInfo(*data);
        break;
    case CmdConfig: {
        // A reply too short for its result value is reported as 0, the
        // box's own word for a refusal.
        quint32 result = 0;
        ComPayload::ReadResult(*data, &result);
        emit TEM_Configed(result);
        break;
    }
    case CmdStart: {
        quint8 flag = 0;
        ComPayload::ReadFlagByte(*data, &flag);
        emit TEM_Strated(flag != 0);
        break;
    }
    case CmdStop:
        emit TEM_Stoped();
        break;
    case CmdSendData:
        OnFrame_SendData(*data);
        break;
    case CmdMonitor:
        ParseMonitor(*data);
        break;
    default:
        break;
    }
}

void iLibSend::OnFrame_SendData(const QByteArray& payload)
{
    st_TEMSendData data;
    st_TEMSendMonitor monitor;
    if (!ComPayload::DecodeSendData(payload, m_baseFreq, &data, &monitor))
        return;
    emit TEM_NewSendData(data);
    emit TEM_SendMonitor(monitor);
}

void iLibSend::ParseMonitor(const QByteArray& payload)
{
    st_TEMSendMonitor monitor;
    if (ComPayload::DecodeMonitor(payload, &monitor))
        emit TEM_SendMonitor(monitor);
}

void iLibSend::ParseDeviceInfo(const QByteArray& payload)
{
    st_DeviceInfo info;
    if (ComPayload::DecodeDeviceInfo(payload, &info))
        emit TEM_SendDeviceInfo(info);
}
