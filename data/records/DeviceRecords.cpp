#include "DeviceRecords.h"

void registerDeviceRecordTypes()
{
    qRegisterMetaType<st_RecvParam>("st_RecvParam");
    qRegisterMetaType<st_ConfigAutoTimeChannel_DUD4004>("st_ConfigAutoTimeChannel_DUD4004");
    qRegisterMetaType<st_TEMSendInfo>("st_TEMSendInfo");
    qRegisterMetaType<st_TEMSendMonitor>("st_TEMSendMonitor");
    qRegisterMetaType<st_DeviceInfo>("st_DeviceInfo");
    qRegisterMetaType<st_RecvData_DUD4004>("st_RecvData_DUD4004");
    qRegisterMetaType<st_TEMSendData>("st_TEMSendData");
    qRegisterMetaType<QList<st_RecvData_DUD4004> >("QList<st_RecvData_DUD4004>");
    qRegisterMetaType<QList<st_TEMSendData> >("QList<st_TEMSendData>");
    qRegisterMetaType<VODEZ_Data>("VODEZ_Data");
}
