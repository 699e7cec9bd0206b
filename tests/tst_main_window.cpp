// The controller against a fake port: what each scan tick tries and shows, the send and the
// dispatch on the first letter, the answer, the time-out, and every way the program ends.
#include "fake_comm_port.h"
#include "main_window.h"

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
    void loadPreparesWithoutOpening();
    void labelShowsBaudReadBackFromPort();
    void searchNamesEachPortTriedThenGivesUp();
    void commandModeGivesUpWithAdvice();
    void takesFirstPortThatOpensAndStopsSearching();
    void dispatchOnFirstLetter_data();
    void dispatchOnFirstLetter();
    void refusedCommandIsNotReportedAsSent();
    void queryWithoutAnswerTimesOut();
    void answerIsGatheredShownAndLogged();
    void answerIsCutAt1024Bytes();
    void endlessTalkerIsCutAfterTwoSeconds();
    void unsolicitedBytesEndWindowMode();
    void vanishedPortInWindowMode();
    void vanishedPortWhileAwaitingAnswer();
    void closeRequestEndsInEveryState_data();
    void closeRequestEndsInEveryState();
    void unwritableLogIsFatal();

private:
    void start(const QString &commandParameter);
    QByteArray log() const;
    int waitForEnd(int timeoutMs = 10000);

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
    m_view->visible = true;
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

int TestMainWindow::waitForEnd(int timeoutMs)
{
    if (m_finished->isEmpty() && !m_finished->wait(timeoutMs))
        return -1;
    return m_finished->first().first().toInt();
}

void TestMainWindow::loadPreparesWithoutOpening()
{
    QVERIFY(QFile(m_folder->filePath("log.txt")).open(QIODevice::WriteOnly)); // stale log
    start("e");
    QCOMPARE(log(), QByteArray("-\r\n"));
    QVERIFY(m_port->configured);
    QVERIFY(m_port->tried.isEmpty()); // the first attempt waits for the first tick
    QVERIFY(!m_view->visible);
    const CommSettings &s = m_port->taken;
    QVERIFY(s.DTREnable && s.RTSEnable && s.NullDiscard && !s.EOFEnable);
    QCOMPARE(s.Settings, QStringLiteral("300,n,8,1"));
    QCOMPARE(s.Handshaking, 0);
    QCOMPARE(s.InBufferSize, 1024);
    QCOMPARE(s.OutBufferSize, 512);
}

void TestMainWindow::labelShowsBaudReadBackFromPort()
{
    start(QString());
    QCOMPARE(m_view->label3, QStringLiteral("Baudrate: 300 bp/s"));

    init();
    m_port->settingsReadBack = "1200,e,7,1";
    start(QString());
    QCOMPARE(m_view->label3, QStringLiteral("Baudrate: 1200 bp/s"));
}

void TestMainWindow::searchNamesEachPortTriedThenGivesUp()
{
    QStringList statusAtEachAttempt;
    m_port->beforeOpenAttempt = [&] { statusAtEachAttempt << m_view->label1; };
    start(QString());

    QTRY_COMPARE_WITH_TIMEOUT(m_view->label1, QStringLiteral("Desconectado."), 15000);
    QCOMPARE(m_view->label1Colour, Window::Colour::Red);
    QList<int> expectedPorts;
    QStringList expectedStatus{"Buscando em COM"};
    for (int n = 2; n <= 30; ++n) {
        expectedPorts << n;
        if (n < 30)
            expectedStatus << QStringLiteral("Buscando em COM %1").arg(n);
    }
    QCOMPARE(m_port->tried, expectedPorts);
    QCOMPARE(statusAtEachAttempt, expectedStatus);

    QTest::qWait(300); // a stopped scan stays stopped, and window mode keeps the window up
    QCOMPARE(m_port->tried.size(), 29);
    QVERIFY(m_finished->isEmpty());
}

void TestMainWindow::commandModeGivesUpWithAdvice()
{
    m_port->problems[5] = "COM5 (/dev/ttyUSB0): sem permissão";
    start("1");
    QCOMPARE(waitForEnd(15000), int(MainWindow::ExitNoPort));
    QCOMPARE(log(), QByteArray("-\r\n"));
    QVERIFY(m_port->written.isEmpty());
    QCOMPARE(m_diagnostics.size(), 6);
    QCOMPARE(m_diagnostics.first(), QStringLiteral("O Windows não pôde detectar a placa controladora."));
    QVERIFY(m_diagnostics.at(4).startsWith("   - Copie o arquivos Comutel.exe e MSCOMM32.OCX"));
    QCOMPARE(m_diagnostics.last(), QStringLiteral("comutel: COM5 (/dev/ttyUSB0): sem permissão"));
}

void TestMainWindow::takesFirstPortThatOpensAndStopsSearching()
{
    m_port->openable = {4, 7};
    start(QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_view->label1, QStringLiteral("Conectado em COM 4"), 5000);
    QCOMPARE(m_view->label1Colour, Window::Colour::Green);

    QTest::qWait(300);
    QCOMPARE(m_port->tried, (QList<int>{2, 3, 4}));
    QVERIFY(m_port->portOpen());
    QVERIFY(m_port->written.isEmpty());
    QVERIFY(m_finished->isEmpty());
}

void TestMainWindow::dispatchOnFirstLetter_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("awaitsAnswer");

    QTest::newRow("relay digit") << "1" << QByteArray("1") << false;
    QTest::newRow("word, upper-cased") << "Liga" << QByteArray("LIGA") << false;
    QTest::newRow("lower-case e") << "e" << QByteArray("E") << true;
    QTest::newRow("r5") << "r5" << QByteArray("R5") << true;
    QTest::newRow("8-bit upper-casing") << "eçã€" << QByteArray("E\xc7\xc3?") << true;
    QTest::newRow("toolkit-like option") << "-reverse" << QByteArray("-REVERSE") << false;
}

void TestMainWindow::dispatchOnFirstLetter()
{
    QFETCH(QString, parameter);
    QFETCH(QByteArray, sent);
    QFETCH(bool, awaitsAnswer);
    m_port->openable = {2};
    start(parameter);

    QTRY_COMPARE_WITH_TIMEOUT(m_port->written, sent, 5000);
    if (awaitsAnswer) {
        QVERIFY(m_finished->isEmpty());
        QVERIFY(m_port->portOpen());
        m_port->receive("1");
    }
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QVERIFY(!m_port->portOpen());
    QCOMPARE(log(), awaitsAnswer ? QByteArray("1\r\n") : QByteArray("-\r\n"));
}

void TestMainWindow::refusedCommandIsNotReportedAsSent()
{
    m_port->openable = {2};
    m_port->refuseOutput = true;
    start("1");
    QCOMPARE(waitForEnd(), int(MainWindow::ExitFatal));
    QCOMPARE(m_diagnostics.size(), 1);
    QVERIFY(m_diagnostics.first().startsWith("comutel: comando não enviado"));
}

void TestMainWindow::queryWithoutAnswerTimesOut()
{
    m_port->openable = {3};
    start("E");
    QCOMPARE(waitForEnd(), int(MainWindow::ExitNoAnswer));
    QCOMPARE(m_port->written, QByteArray("E"));
    QCOMPARE(log(), QByteArray("-\r\n"));
    QVERIFY(!m_port->portOpen());
    QCOMPARE(m_diagnostics.size(), 1);
}

void TestMainWindow::answerIsGatheredShownAndLogged()
{
    m_port->openable = {2};
    start("E");
    QTRY_VERIFY_WITH_TIMEOUT(!m_port->written.isEmpty(), 5000);

    // The answer starts in time and arrives in pieces; the wait for it to begin must not cut it.
    QTimer::singleShot(400, this, [this] { m_port->receive("0"); });
    QTimer::singleShot(430, this, [this] { m_port->receive("1"); });
    QTimer::singleShot(470, this, [this] { m_port->receive("1"); });
    QTimer::singleShot(520, this, [this] { m_port->receive("0"); });
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QCOMPARE(log(), QByteArray("0110\r\n"));
    QCOMPARE(m_view->label8, QStringLiteral("0110"));
}

void TestMainWindow::answerIsCutAt1024Bytes()
{
    m_port->openable = {2};
    start("R1");
    QTRY_VERIFY_WITH_TIMEOUT(!m_port->written.isEmpty(), 5000);
    m_port->receive(QByteArray(1000, 'a'));
    m_port->receive(QByteArray(100, 'b'));
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QCOMPARE(log(), QByteArray(1000, 'a') + QByteArray(24, 'b') + "\r\n");
}

void TestMainWindow::endlessTalkerIsCutAfterTwoSeconds()
{
    m_port->openable = {2};
    start("E");
    QTRY_VERIFY_WITH_TIMEOUT(!m_port->written.isEmpty(), 5000);
    QTimer talker;
    connect(&talker, &QTimer::timeout, this, [this] { m_port->receive("x"); });
    talker.start(20);
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    const QByteArray logged = log();
    QVERIFY(logged.startsWith("xxxx"));
    QVERIFY(logged.size() < 1024);
}

void TestMainWindow::unsolicitedBytesEndWindowMode()
{
    m_port->openable = {2};
    start(QString());
    QTRY_VERIFY_WITH_TIMEOUT(m_port->portOpen(), 5000);
    m_port->receive("ALARME");
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QCOMPARE(log(), QByteArray("ALARME\r\n"));
    QCOMPARE(m_view->label8, QStringLiteral("ALARME"));
}

void TestMainWindow::vanishedPortInWindowMode()
{
    m_port->openable = {2};
    start(QString());
    QTRY_VERIFY_WITH_TIMEOUT(m_port->portOpen(), 5000);
    m_port->vanish();
    QCOMPARE(m_view->label1, QStringLiteral("Desconectado."));
    QCOMPARE(m_view->label1Colour, Window::Colour::Red);
    QTest::qWait(300);
    QVERIFY(m_finished->isEmpty()); // the window stays until the user closes it
    QCOMPARE(m_port->tried, QList<int>{2});
}

void TestMainWindow::vanishedPortWhileAwaitingAnswer()
{
    m_port->openable = {2};
    start("E");
    QTRY_VERIFY_WITH_TIMEOUT(!m_port->written.isEmpty(), 5000);
    m_port->vanish();
    QCOMPARE(waitForEnd(), int(MainWindow::ExitNoAnswer));
    QCOMPARE(log(), QByteArray("-\r\n"));
}

void TestMainWindow::closeRequestEndsInEveryState_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QList<int>>("openable");
    QTest::addColumn<QString>("status"); // Label1 text that marks the state

    QTest::newRow("searching") << "E" << QList<int>{} << "Buscando em COM 3";
    QTest::newRow("connected, idle") << "" << QList<int>{2} << "Conectado em COM 2";
    QTest::newRow("awaiting answer") << "E" << QList<int>{2} << "Conectado em COM 2";
    QTest::newRow("gave up") << "" << QList<int>{} << "Desconectado.";
}

void TestMainWindow::closeRequestEndsInEveryState()
{
    QFETCH(QString, parameter);
    QFETCH(QList<int>, openable);
    QFETCH(QString, status);
    m_port->openable = QSet<int>(openable.begin(), openable.end());
    start(parameter);
    QTRY_COMPARE_WITH_TIMEOUT(m_view->label1, status, 15000);

    m_view->close(); // as the window system asks
    QCOMPARE(waitForEnd(), int(MainWindow::ExitOk));
    QVERIFY(!m_port->portOpen());
    const int attempts = m_port->tried.size();
    QTest::qWait(700); // past any tick or time-out that was pending
    QCOMPARE(m_port->tried.size(), attempts);
    QCOMPARE(m_finished->size(), 1);
    QCOMPARE(log(), QByteArray("-\r\n"));
}

void TestMainWindow::unwritableLogIsFatal()
{
    QVERIFY(QDir(m_folder->path()).mkdir("log.txt"));
    start("1");
    QCOMPARE(waitForEnd(), int(MainWindow::ExitFatal));
    QVERIFY(!m_port->configured);
    QCOMPARE(m_diagnostics.size(), 1);
    QVERIFY(m_diagnostics.first().contains(m_folder->filePath("log.txt")));
    QTest::qWait(300);
    QVERIFY(m_port->tried.isEmpty());
}

QTEST_GUILESS_MAIN(TestMainWindow)
#include "tst_main_window.moc"
