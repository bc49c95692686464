#pragma once
// The names of the acquisition controller's states. The machine is built and
// looked up by these names, and the panels and tests find the state objects
// by them, so they are spelt once, here.

#include <QString>

namespace CollectorStates
{
// Top level: the connection.
inline const QString DeviceWaitSet = QStringLiteral("DeviceWaitSet");
inline const QString DeviceInit = QStringLiteral("DeviceInit");
inline const QString DeviceConnecting = QStringLiteral("DeviceConnecting");
inline const QString DeviceOnline = QStringLiteral("DeviceOnline");
// Children of DeviceOnline: the sounding.
inline const QString SampleWaitParam = QStringLiteral("SampleWaitParam");
inline const QString SampleSetParam = QStringLiteral("SampleSetParam");
inline const QString SampleDataUpload = QStringLiteral("SampleDataUpload");
inline const QString SampleWaitSave = QStringLiteral("SampleWaitSave");
inline const QString SampleDataSave = QStringLiteral("SampleDataSave");
// Children of SampleSetParam: the device commands of one repeat.
inline const QString SetParam_ConfigChannel = QStringLiteral("SetParam_ConfigChannel");
inline const QString SetParam_ConfigRecv = QStringLiteral("SetParam_ConfigRecv");
inline const QString SetParam_ConfigSend = QStringLiteral("SetParam_ConfigSend");
inline const QString SetParam_Start = QStringLiteral("SetParam_Start");
}
