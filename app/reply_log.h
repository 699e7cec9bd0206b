// "log.txt" beside the executable: the one line through which a calling script learns the
// board's answer ("-" while there is none).
#pragma once

#include <QByteArray>
#include <QString>

class ReplyLog
{
public:
    explicit ReplyLog(const QString &folder);
    // The log of the running program, in the folder that holds its executable.
    static ReplyLog besideExecutable();

    QString path() const { return m_path; }
    // Replaces the file with text and CR LF; false (with errorString) when it cannot.
    bool write(const QByteArray &text);
    QString errorString() const { return m_error; }

private:
    QString m_path;
    QString m_error;
};
