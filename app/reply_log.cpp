#include "reply_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

ReplyLog::ReplyLog(const QString &folder) : m_path(QDir(folder).filePath(QStringLiteral("log.txt")))
{
}

ReplyLog ReplyLog::besideExecutable()
{
    // The folder QCoreApplication::applicationDirPath() would give, known before Qt starts, so
    // that even a start that fails early resets the log.
    return ReplyLog(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
}

bool ReplyLog::write(const QByteArray &text)
{
    // Written beside and renamed over the old one, so a script reading the log never finds
    // it empty or half written. Where the folder itself is read-only but the file is not,
    // writing in place still beats losing the answer.
    QSaveFile file(m_path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(text + "\r\n") != text.size() + 2
        || !file.commit()) {
        m_error = QCoreApplication::translate("ReplyLog", "não foi possível gravar %1: %2")
                      .arg(m_path, file.errorString());
        return false;
    }
    return true;
}
