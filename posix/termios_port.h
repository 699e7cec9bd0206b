// The port over QSerialPort, the only unit that includes it. QSerialPort on its own would lose
// the tail of a command at close, keep stale input, fail an open on a port without modem lines
// and spin when an adapter is unplugged; this class closes those gaps.
#pragma once

#include "comm_port.h"
#include "port_check.h"
#include "port_names.h"

#include <QSerialPort>
#include <QStringList>

class QtCommPort : public CommPort
{
    Q_OBJECT

public:
    // The folders the port depends on; tests give scratch ones.
    struct Places
    {
        Places(const QString &deviceFolder, const QList<portnames::MapFolder> &mapFolders = {},
               const QStringList &lockFolders = {})
            : devices(deviceFolder), maps(mapFolders), locks(lockFolders)
        {
        }
        // /dev, the user's and the system's map folders, /run/lock.
        static Places ofSystem();

        QString devices;
        QList<portnames::MapFolder> maps; // the COM map, first folder first
        QStringList locks;                // other programs' lock files
    };

    explicit QtCommPort(const Places &places, QObject *parent = nullptr);
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
    QStringList mapProblems() const override { return m_map.ignored; }

    // The device that the current COM number stands for; empty when there is none.
    QString devicePath() const;

private:
    bool open();
    void close();
    void drain();
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    bool refuse(const QString &path, const portcheck::Finding &finding);
    QString portLabel(const QString &path) const;
    bool fail(const QString &reason);

    Places m_places;
    portnames::PortMap m_map; // fixed when the settings are taken
    CommSettings m_settings;
    int m_commPort = 0;
    QSerialPort m_serial;
    QByteArray m_received;
    QString m_error;
    QString m_openProblem;
};
