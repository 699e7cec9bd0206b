// "log.txt" beside the executable: the one line through which a calling script learns the
// board's answer ("-" while there is none). An installation may make it a link to a folder its
// users can write (/var/lib/comutel); comutel runs as root too, so it follows such a link only
// when no other user could have placed it, and never writes through a link it finds there.
#pragma once

#include <QByteArray>
#include <QString>

class ReplyLog
{
public:
    // folder: the one that holds the executable.
    explicit ReplyLog(const QString &folder);
    // The log of the running program, in the folder that holds its executable.
    static ReplyLog besideExecutable();

    QString path() const { return m_path; }
    // Replaces the file with text and CR LF, readable by all; false (with errorString) when it
    // cannot, or when log.txt is a link that someone else could have placed.
    bool write(const QByteArray &text);
    QString errorString() const { return m_error; }

private:
    bool fail(const QString &reason);

    QString m_path;
    QString m_error;
};
