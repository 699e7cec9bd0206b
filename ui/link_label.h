// A label that opens a web address with the desktop's URL handler when clicked, the way a link
// on a web page does: on release of the left button over the label it was pressed on.
#pragma once

#include <QLabel>
#include <QUrl>

class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString &text, const QUrl &url, QWidget *parent = nullptr);

    QUrl url() const { return m_url; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QUrl m_url;
    bool m_pressed = false;
};
