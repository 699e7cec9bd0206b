// The port over QSerialPort, the only unit that includes it. QSerialPort on its own would lose
// the tail of a command at close, keep stale input, fail an open on a port without modem lines
// and spin when an adapter is unplugged; this class closes those gaps.
#pragma once

#include "comm_port.h"

#include <QSerialPort>
#include <QStringList>

class QtCommPort : public CommPort
{
    Q_OBJECT

public:
    // lockFolders: where other programs leave their lock files (portlocks::systemFolders()).
    explicit QtCommPort(const QString &deviceFolder = QStringLiteral("/dev"),
                        const QStringList &lockFolders = {}, QObject *parent = nullptr);
    ~QtCommPort() override;

    bool configure(const CommSettings &settings) override;
    QString settings() const override;
    bool setCommPort(int number) override;
    bool setPortOpen(bool open) override;
    bool portOpen() const override;
    bool output(const QByteArray &bytes) override;
    QByteArray input() override;
    QString errorString() const override { return m_error; }
    QString openProblem() const override { return m_openProblem; }

    // The device that the current COM number stands for; empty when there is none.
    QString devicePath() const;

private:
    bool open();
    void close();
    void drain();
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    bool lockOrRefuse(const QString &path);
    QString describeOpenFailure(const QString &path, QSerialPort::SerialPortError error) const;
    QString busyProblem(const QString &path, const QString &holder) const;
    QString portLabel(const QString &path) const;
    bool fail(const QString &reason);

    QString m_deviceFolder;
    QStringList m_lockFolders;
    QStringList m_ports; // COM1 first; fixed when the settings are taken
    CommSettings m_settings;
    int m_commPort = 0;
    QSerialPort m_serial;
    QByteArray m_received;
    QString m_error;
    QString m_openProblem;
};
