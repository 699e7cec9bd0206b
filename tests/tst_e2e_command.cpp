// The executable in command mode against a board: the simulated one where the board's side of
// the talk matters, a bare pseudo-terminal where the exact bytes on the wire do.
#include "e2e_harness.h"
#include "pseudo_terminal.h"

#include <QDir>
#include <QTest>

using namespace std::chrono_literals;

class TestE2eCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void switchesRelayAndReplacesStaleLog_data();
    void switchesRelayAndReplacesStaleLog();
    void queryAnsweredInPieces();
    void dropsNulBytesFromAnswer();
    void noAnswerInTime_data();
    void noAnswerInTime();
    void boardThatNeverStopsTalking_data();
    void boardThatNeverStopsTalking();
    void boardVanishesDuringWait();
    void sendsParameterRawAndUpperCased_data();
    void sendsParameterRawAndUpperCased();
    void logThatCannotBeWritten();
    void helpAndVersionTouchNothing_data();
    void helpAndVersionTouchNothing();
};

void TestE2eCommand::initTestCase()
{
    const QString reason = e2e::portsUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
}

void TestE2eCommand::switchesRelayAndReplacesStaleLog_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("change");
    QTest::newRow("1 switches relay 1 on") << "1"
                                           << "relé 1 ligado";
    QTest::newRow("7 switches relay 4 on") << "7"
                                           << "relé 4 ligado";
    QTest::newRow("2 switches relay 1 off") << "2"
                                            << "relé 1 já estava desligado";
}

void TestE2eCommand::switchesRelayAndReplacesStaleLog()
{
    QFETCH(QString, command);
    QFETCH(QString, change);
    e2e::RelaySim board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    QVERIFY(comutel.isValid());
    QVERIFY(comutel.writeLog("1010\r\n")); // an answer from an earlier run
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({command});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QVERIFY(board.waitForChange(change));
    QCOMPARE(board.changes().size(), 1);
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    QCOMPARE(comutel.standardError(), QString());
}

void TestE2eCommand::queryAnsweredInPieces()
{
    // The simulator sends one byte per 33 ms, so every answer arrives in pieces.
    e2e::RelaySim board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});
    const QList<QPair<QString, QByteArray>> steps{{"3", "-"},  {"7", "-"},  {"e", "0101"},
                                                  {"r2", "1"}, {"R1", "0"}, {"E", "0101"}};
    for (const auto &[command, logged] : steps) {
        comutel.start({command});
        QVERIFY(comutel.finish());
        QVERIFY2(comutel.exitCode() == 0, qPrintable(command + ": " + comutel.outcome()));
        QCOMPARE(comutel.log(), logged + "\r\n");
    }
    QVERIFY(board.waitForChange("relé 4 ligado"));
    QCOMPARE(board.changes(), QStringList({"relé 2 ligado", "relé 4 ligado"}));
}

void TestE2eCommand::dropsNulBytesFromAnswer()
{
    e2e::RelaySim board({"--nul"}); // "\0" "0" "\0" "0" ...
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});
    comutel.start({"E"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QCOMPARE(comutel.log(), QByteArray("0000\r\n"));
}

void TestE2eCommand::noAnswerInTime_data()
{
    QTest::addColumn<QStringList>("boardOptions");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("logged");
    // Well inside and well past the half second the program waits for an answer to begin.
    QTest::newRow("late, still in time")
        << QStringList{"--late=150"} << "E" << 0 << QByteArray("0000\r\n");
    QTest::newRow("too late") << QStringList{"--late=1500"} << "E" << 2 << QByteArray("-\r\n");
    QTest::newRow("never") << QStringList{"--silent"} << "E" << 2 << QByteArray("-\r\n");
    QTest::newRow("R for a relay the board lacks")
        << QStringList{} << "R9" << 2 << QByteArray("-\r\n");
}

void TestE2eCommand::noAnswerInTime()
{
    QFETCH(QStringList, boardOptions);
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, logged);
    e2e::RelaySim board(boardOptions);
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({command});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == exitCode, qPrintable(comutel.outcome()));
    QCOMPARE(comutel.log(), logged);
    if (exitCode == 2)
        QVERIFY2(comutel.standardError().startsWith("comutel: "), qPrintable(comutel.outcome()));
}

void TestE2eCommand::boardThatNeverStopsTalking_data()
{
    QTest::addColumn<QString>("pace");
    QTest::addColumn<int>("shortest");
    QTest::addColumn<int>("longest");
    // At 300 baud the answer is cut by time, some 60 bytes; at full speed by its size.
    QTest::newRow("at 300 baud") << "--pace=33" << 2 << 1023;
    QTest::newRow("at full speed") << "--pace=0" << 1024 << 1024;
}

void TestE2eCommand::boardThatNeverStopsTalking()
{
    QFETCH(QString, pace);
    QFETCH(int, shortest);
    QFETCH(int, longest);
    e2e::RelaySim board({"--chatter", pace});
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({"E"});
    QVERIFY2(comutel.finish(), "a board that never stops talking must not hold the program");
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    const QByteArray log = comutel.log();
    QVERIFY2(log.endsWith("\r\n"), log.right(20).constData());
    const QByteArray answer = log.chopped(2);
    QVERIFY2(answer.size() >= shortest && answer.size() <= longest,
             qPrintable(QString::number(answer.size())));
    for (char byte : answer)
        QVERIFY2(byte >= '0' && byte <= '9', answer.constData());
}

void TestE2eCommand::boardVanishesDuringWait()
{
    e2e::RelaySim board({"--hang-up"});
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start({"E"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 2, qPrintable(comutel.outcome()));
    QVERIFY(board.waitForExit());
    QCOMPARE(comutel.log(), QByteArray("-\r\n"));
    QVERIFY2(comutel.standardError().contains("COM 2"), qPrintable(comutel.outcome()));
}

void TestE2eCommand::sendsParameterRawAndUpperCased_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent");
    // Qt would take these as its own options if it saw them; the board must get them instead.
    QTest::newRow("-reverse") << QStringList{"-reverse"} << QByteArray("-REVERSE");
    QTest::newRow("-platform xcb")
        << QStringList{"-platform", "xcb"} << QByteArray("-PLATFORM XCB");
    QTest::newRow("-style=fusion") << QStringList{"-style=fusion"} << QByteArray("-STYLE=FUSION");
    QTest::newRow("Liga") << QStringList{"Liga"} << QByteArray("LIGA");
    QTest::newRow("Latin-1 letters") << QStringList{"ação"} << QByteArray("A\xC7\xC3O");
    QTest::newRow("beyond Latin-1") << QStringList{"x€"} << QByteArray("X?");
}

void TestE2eCommand::sendsParameterRawAndUpperCased()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    comutel.setPorts({"COM2=" + board.slavePath()});

    comutel.start(arguments);
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QCOMPARE(board.read(sent.size() + 1, 500ms), sent);
    QCOMPARE(comutel.standardError(), QString());
}

void TestE2eCommand::logThatCannotBeWritten()
{
    // A folder where the log should be defeats even root.
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    QVERIFY(QDir(comutel.folder()).mkdir("log.txt"));
    comutel.setPorts({"COM2=" + board.slavePath()});
    e2e::OpenWatch watch(board.slavePath());
    QVERIFY(watch.isValid());

    comutel.start({"1"});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 3, qPrintable(comutel.outcome()));
    QVERIFY2(comutel.standardError().startsWith("comutel: ") &&
                 comutel.standardError().contains("log.txt"),
             qPrintable(comutel.outcome()));
    QCOMPARE(watch.opens(), 0); // the log first: no port is touched without it
}

void TestE2eCommand::helpAndVersionTouchNothing_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("printed");
    QTest::newRow("--help") << "--help"
                            << "Uso: comutel";
    QTest::newRow("--version") << "--version"
                               << "comutel 1";
}

void TestE2eCommand::helpAndVersionTouchNothing()
{
    QFETCH(QString, option);
    QFETCH(QString, printed);
    PseudoTerminal board;
    QVERIFY(board.isValid());
    e2e::Comutel comutel;
    QVERIFY(comutel.writeLog("0110\r\n"));
    comutel.setPorts({"COM2=" + board.slavePath()});
    e2e::OpenWatch watch(board.slavePath());

    comutel.start({option});
    QVERIFY(comutel.finish());
    QVERIFY2(comutel.exitCode() == 0, qPrintable(comutel.outcome()));
    QVERIFY2(QString::fromUtf8(comutel.standardOutput()).startsWith(printed),
             comutel.standardOutput().constData());
    QCOMPARE(comutel.log(), QByteArray("0110\r\n"));
    QCOMPARE(watch.opens(), 0);
}

QTEST_GUILESS_MAIN(TestE2eCommand)
#include "tst_e2e_command.moc"
