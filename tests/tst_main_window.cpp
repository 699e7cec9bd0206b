// The controller against a fake port: what each scan tick tries and shows, the send and the
// dispatch on the first letter, the answer and its time-out, and a close request in every state.
#include "fake_comm_port.h"
#include "main_window.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void load_data();
    void load();
    void searchNamesEachPortTriedThenGivesUp();
    void dispatchOnFirstLetter_data();
    void dispatchOnFirstLetter();
    void closeRequestEndsInEveryState_data();
    void closeRequestEndsInEveryState();

private:
    void start(const QString &commandParameter);
    QByteArray log() const;
    int waitForEnd();

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeCommPort> m_port;
    std::unique_ptr<HeadlessWindow> m_view;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QSignalSpy> m_finished;
    QStringList m_diagnostics;
};

void TestMainWindow::init()
{
    m_window.reset();
    m_folder = std::make_unique<QTemporaryDir>();
    m_port = std::make_unique<FakeCommPort>();
    m_view = std::make_unique<HeadlessWindow>();
    m_diagnostics.clear();
}

void TestMainWindow::start(const QString &commandParameter)
{
    m_window = std::make_unique<MainWindow>(m_port.get(), m_view.get(), commandParameter,
                                            ReplyLog(m_folder->path()));
    m_finished = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::finished);
    connect(m_window.get(), &MainWindow::diagnostic, this,
            [this](const QString &line) { m_diagnostics << line; });
    m_window->onLoad();
}

QByteArray TestMainWindow::log() const
{
    QFile file(m_folder->filePath("log.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no log>");
}

int TestMainWindow::waitForEnd()
{
    if (m_finished->isEmpty() && !m_finished->wait(15000))
        return -1;
    return m_finished->first().first().toInt();
}

void TestMainWindow::load_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<bool>("logWritable");
    QTest::newRow("command mode") << "e" << true;
    QTest::newRow("window mode") << "" << true;
    QTest::newRow("command mode, log not writable") << "1" << false; // no port touched
    QTest::newRow("window mode, log not writable") << "" << false; // never shown, not even briefly
}

void TestMainWindow::load()
{
    QFETCH(QString, parameter);
    QFETCH(bool, logWritable);
    QDir folder(m_folder->path());
    QVERIFY(logWritable ? QFile(folder.filePath("log.txt")).open(QIODevice::WriteOnly) // stale
                        : folder.mkdir("log.txt"));
    m_view->visible = !parameter.isEmpty() && logWritable; // command mode must hide it
    m_port->settingsReadBack = "1200,e,7,1";
    start(parameter);
    QCOMPARE(m_view->visible, parameter.isEmpty() && logWritable);
    QVERIFY(m_port->tried.isEmpty()); // the first attempt waits for the first tick
    if (!logWritable) {
        QCOMPARE(waitForEnd(), int(MainWindow::ExitFatal));
        QVERIFY(!m_port->configured);
        QVERIFY(m_diagnostics.size() == 1 && m_diagnostics.first().contains("log.txt"));
        return;
    }
    QCOMPARE(log(), QByteArray("-\r\n"));
    QCOMPARE(m_view->label3, QStringLiteral("Baudrate: 1200 bp/s")); // read back, not assumed
}

void TestMainWindow::searchNamesEachPortTriedThenGivesUp()
{
    QStringList statusAtEachAttempt;
    m_port->beforeOpenAttempt = [&] { statusAtEachAttempt << m_view->label1; };
    start("1");

    QTRY_COMPARE_WITH_TIMEOUT(m_view->label1, QStringLiteral("Desconectado."), 15000);
    QCOMPARE(m_view->label1Colour, Window::Colour::Red);
    QList<int> expectedPorts;
    QStringList expectedStatus{"Buscando em COM"};
    for (int n = 2; n <= 30; ++n) {
        expectedPorts << n;
        if (n < 30)
            expectedStatus << QStringLiteral("Buscando em COM %1").arg(n); // the port just tried
    }
    QCOMPARE(m_port->tried, expectedPorts);
    QCOMPARE(statusAtEachAttempt, expectedStatus);

    QCOMPARE(waitForEnd(), int(MainWindow::ExitNoPort)); // the advice: e2e "locked port named"
}

void TestMainWindow::dispatchOnFirstLetter_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("awaitsAnswer");
    QTest::addColumn<int>("status");

    QTest::newRow("relay digit") << "1" << QByteArray("1") << false << 0;
    QTest::newRow("r5") << "r5" << QByteArray("R5") << true << 0;
    // One byte a character: upper-cased where that stays in ISO 8859-1, else as it is; '?'
    // for characters outside it.
    QTest::newRow("8-bit upper-casing")
        << "eçã€😀ßÿµ" << QByteArray("E\xc7\xc3??\xdf\xff\xb5") << true << 0;
    QTest::newRow("query refused by the port") << "e" << QByteArray() << false << 3;
}

void TestMainWindow::dispatchOnFirstLetter()
{
    QFETCH(QString, parameter);
    QFETCH(QByteArray, sent);
    QFETCH(bool, awaitsAnswer);
    QFETCH(int, status);
    m_port->openable = {2};
    m_port->refuseOutput = sent.isEmpty();
    start(parameter);

    QTRY_VERIFY_WITH_TIMEOUT(m_port->tried.contains(2), 5000);
    QCOMPARE(m_port->written, sent);
    if (awaitsAnswer) {
        QVERIFY(m_finished->isEmpty());
        m_port->receive("1");
    }
    QCOMPARE(waitForEnd(), status); // a command never sent is never reported as sent
    QCOMPARE(m_diagnostics.size(), status == 0 ? 0 : 1); // and has no answer to wait for
    QVERIFY(!m_port->portOpen());
    QCOMPARE(log(), awaitsAnswer ? QByteArray("1\r\n") : QByteArray("-\r\n"));
    QCOMPARE(m_view->label8, awaitsAnswer ? "1" : "Comutel.exe 1"); // the answer, shown
}

void TestMainWindow::closeRequestEndsInEveryState_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QList<int>>("openable");
    QTest::addColumn<QString>("status"); // Label1's text in that state

    QTest::newRow("searching") << "E" << QList<int>{} << "Buscando em COM 3";
    QTest::newRow("connected, idle") << "" << QList<int>{2} << "Conectado em COM 2";
    QTest::newRow("awaiting answer") << "E" << QList<int>{2} << "Conectado em COM 2";
    QTest::newRow("gave up") << "" << QList<int>{} << "Desconectado.";
    QTest::newRow("port lost") << "" << QList<int>{2} << "Conectado em COM 2"; // then vanishes
}

void TestMainWindow::closeRequestEndsInEveryState()
{
    QFETCH(QString, parameter);
    QFETCH(QList<int>, openable);
    QFETCH(QString, status);
    m_port->openable = QSet<int>(openable.begin(), openable.end());
    start(parameter);
    QTRY_COMPARE_WITH_TIMEOUT(m_view->label1, status, 15000);
    if (QString(QTest::currentDataTag()) == "port lost") {
        m_port->vanish();
        QCOMPARE(m_view->label1, QStringLiteral("Desconectado."));
        QCOMPARE(m_view->label1Colour, Window::Colour::Red);
    }
    if (parameter.isEmpty())
        QTest::qWait(200); // only the close ends a window, and a search that gave up stays so
    QVERIFY(m_finished->isEmpty());
    if (m_view->label1 == QStringLiteral("Desconectado."))
        QCOMPARE(m_port->tried.size(), openable.isEmpty() ? 29 : 1);

    m_view->close(); // as the window system asks
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QVERIFY(!m_port->portOpen());
    const int attempts = m_port->tried.size();
    QTest::qWait(700); // past any tick or time-out that was due
    QCOMPARE(m_port->tried.size(), attempts);
    QCOMPARE(m_finished->size(), 1);
    QCOMPARE(log(), QByteArray("-\r\n"));
}

QTEST_GUILESS_MAIN(TestMainWindow)
#include "tst_main_window.moc"
