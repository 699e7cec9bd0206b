// The reply log on scratch folders: its one line, and the links it follows or refuses.
#include "reply_log.h"
#include "skip_or_fail.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestReplyLog : public QObject
{
    Q_OBJECT

private slots:
    void writesOneLine_data();
    void writesOneLine();
    void followsOnlyLinksNoOneElseCouldPlace_data();
    void followsOnlyLinksNoOneElseCouldPlace();

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
    QTest::addColumn<QByteArray>("text"); // goes out byte for byte, then CR LF
    QTest::newRow("no answer") << QByteArray("-");
    QTest::newRow("answer ending in CR LF gets a second one") << QByteArray("OK\r\n");
    QTest::newRow("8-bit bytes") << QByteArray("\x80\xe7\xff\x1a");
}

void TestReplyLog::writesOneLine()
{
    QFETCH(QByteArray, text);
    QTemporaryDir folder;
    ReplyLog log(folder.path());
    QVERIFY(log.write("a longer answer from an earlier run"));

    const mode_t umask = ::umask(077);
    const bool written = log.write(text);
    ::umask(umask);
    QVERIFY(written);
    QCOMPARE(contents(log.path()), text + "\r\n");
    QVERIFY(QFile::permissions(log.path()) & QFile::ReadOther); // scripts of any user read it
    // Nothing is left behind from the write-then-rename.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"log.txt"});
}

void TestReplyLog::followsOnlyLinksNoOneElseCouldPlace_data()
{
    // bin/log.txt is a link to var/log.txt, as installed; var is the group-writable folder where
    // the log lives, and var/log.txt a link that a member of the group planted there.
    QTest::addColumn<int>("binMode");
    QTest::addColumn<bool>("linkOfAnotherUser");
    QTest::addColumn<bool>("followed");
    QTest::newRow("installed link") << 0755 << false << true;
    QTest::newRow("link in a folder others can write") << 0775 << false << false;
    QTest::newRow("link of another user") << 0755 << true << false;
}

void TestReplyLog::followsOnlyLinksNoOneElseCouldPlace()
{
    QFETCH(int, binMode);
    QFETCH(bool, linkOfAnotherUser);
    QFETCH(bool, followed);
    if (::geteuid() != 0)
        COMUTEL_SKIP("needs root, to give the link to another user");
    QTemporaryDir root;
    QDir folder(root.path());
    const QByteArray at = QFile::encodeName(root.path());
    QVERIFY(folder.mkdir("bin") && folder.mkdir("var") && ::chmod(at + "/bin", binMode) == 0 &&
            ::chmod(at + "/var", 02775) == 0);
    QFile victim(folder.filePath("victim"));
    QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("secret") == 6);
    victim.close();
    QVERIFY(::symlink(at + "/victim", at + "/var/log.txt") == 0 &&
            ::symlink(at + "/var/log.txt", at + "/bin/log.txt") == 0);
    if (linkOfAnotherUser)
        QVERIFY(::lchown(at + "/bin/log.txt", 65534, 65534) == 0);

    ReplyLog log(folder.filePath("bin"));
    QCOMPARE(log.write("-"), followed);
    QCOMPARE(contents(victim.fileName()), QByteArray("secret")); // never written through a link
    QCOMPARE(QFileInfo(folder.filePath("var/log.txt")).isSymLink(), !followed);
    if (followed)
        QCOMPARE(contents(folder.filePath("var/log.txt")), QByteArray("-\r\n"));
    else
        QVERIFY2(log.errorString().contains(log.path()), qPrintable(log.errorString()));
}

QTEST_GUILESS_MAIN(TestReplyLog)
#include "tst_reply_log.moc"
