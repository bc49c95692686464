#pragma once
// Stand-in for the link layer's request engine, used only while the link
// library is not part of the tree: same names, no socket behind it.

#include <QObject>
#include <QString>

struct st_ComAddress
{
    QString host;
    quint16 port = 0;
};

class Communication : public QObject
{
    Q_OBJECT
public:
    explicit Communication(QObject* parent = nullptr) : QObject(parent) {}
    void SetAddress(const st_ComAddress& address) { lastAddress = address; }
    void Open() { ++opens; }
    void Close() { ++closes; }
    bool IsConnected() const { return false; }

    st_ComAddress lastAddress;
    int opens = 0;
    int closes = 0;

signals:
    void ComConnected();
    void ComClosed();
};
