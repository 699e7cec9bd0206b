#include "reply_log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestReplyLog : public QObject
{
    Q_OBJECT

private slots:
    void writesOneLine_data();
    void writesOneLine();
    void replacesEarlierContent();
    void reportsUnwritableLog();

private:
    static QByteArray contents(const QString &path);
};

QByteArray TestReplyLog::contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void TestReplyLog::writesOneLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no answer") << QByteArray("-") << QByteArray("-\r\n");
    QTest::newRow("three letters") << QByteArray("101") << QByteArray("101\r\n");
    QTest::newRow("answer ending in CR LF gets a second one")
        << QByteArray("OK\r\n") << QByteArray("OK\r\n\r\n");
    QTest::newRow("8-bit bytes byte for byte")
        << QByteArray("\x80\xe7\xff\x1a") << QByteArray("\x80\xe7\xff\x1a\r\n");
}

void TestReplyLog::writesOneLine()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QTemporaryDir folder;
    ReplyLog log(folder.path());

    QVERIFY(log.write(text));
    QCOMPARE(log.path(), folder.filePath("log.txt"));
    QCOMPARE(contents(log.path()), expected);
}

void TestReplyLog::replacesEarlierContent()
{
    QTemporaryDir folder;
    ReplyLog log(folder.path());
    QVERIFY(log.write("a long answer from an earlier run"));
    QVERIFY(log.write("-"));
    QCOMPARE(contents(log.path()), QByteArray("-\r\n"));
    // Nothing is left behind from the write-then-rename.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"log.txt"});
}

void TestReplyLog::reportsUnwritableLog()
{
    // A folder in the way of the file fails for root too.
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("log.txt"));
    ReplyLog log(folder.path());
    QVERIFY(!log.write("-"));
    QVERIFY2(log.errorString().contains(log.path()), qPrintable(log.errorString()));
}

QTEST_GUILESS_MAIN(TestReplyLog)
#include "tst_reply_log.moc"
