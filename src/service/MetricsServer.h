#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A minimal HTTP/1.x server for one resource: GET /metrics answers with the
// text published for it, in the Prometheus text format; any other path is
// 404, any other method 405. Every answer closes its connection. The text
// comes in pieces and goes out as it comes: a text of one piece with its
// Content-Length, a longer one chunked (to HTTP/1.0 clients, delimited by
// the close). Every request waiting when a text's first piece comes gets
// that text; those that come later wait for the next one. A request whose
// head grows beyond RequestLimit bytes or is not complete within the
// time-out is dropped, and so is an answer of which nothing could be
// written for as long; a connection that sends nothing is dropped after the
// idle time-out. At most ConnectionLimit connections are open at
// once: a new one beyond them closes the oldest that has sent nothing yet,
// or is closed itself when every open one has begun its request. So idle
// connections cannot keep a scraper out. Runs on its thread's event loop
// and never blocks it; the text may come from another thread.
class MetricsServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsServer)
public:
    static constexpr qsizetype RequestLimit = 8 * 1024;
    static constexpr int ConnectionLimit = 16;
    static constexpr int DefaultTimeOutMs = 5000;
    static constexpr int DefaultIdleTimeOutMs = 1000;
    // However it makes progress, no connection lasts longer: a reader that
    // takes a few bytes now and then holds the text back for no one long.
    static constexpr int DefaultAnswerLimitMs = 60000;

    explicit MetricsServer(QObject* parent = nullptr);
    ~MetricsServer() override;

    // Port 0 takes any free port; false with errorString() when it failed.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.serverPort(); }
    int openConnections() const { return static_cast<int>(m_open.size()); }
    void setTimeOutMs(int ms) { m_timeOutMs = ms; }
    void setIdleTimeOutMs(int ms) { m_idleTimeOutMs = ms; }
    void setAnswerLimitMs(int ms) { m_answerLimitMs = ms; }

    // The next piece of the text, which is complete with the last.
    void publish(const QByteArray& piece, bool last = true);

signals:
    // A request for /metrics waits for the text: publish() answers it and
    // every other that came before the text's first piece. Not emitted
    // again until the last piece.
    void textWanted();
    // Of all pieces published so far, that many bytes are no longer queued
    // on any connection.
    void written(qint64 bytes);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& status, const QByteArray& contentType,
                const QByteArray& body);
    void beginText(const QByteArray& piece, bool last);
    void sendPiece(QTcpSocket* socket, const QByteArray& piece);
    void reportWritten();
    // Gives the connection the whole time-out again.
    void extendDeadline(QTcpSocket* socket);
    // Forgets the connection and deletes it; abort drops it without a word.
    void release(QTcpSocket* socket, bool abort);

    int m_timeOutMs = DefaultTimeOutMs;
    int m_idleTimeOutMs = DefaultIdleTimeOutMs;
    int m_answerLimitMs = DefaultAnswerLimitMs;
    QList<QTcpSocket*> m_open;      // every open connection
    QList<QTcpSocket*> m_idle;      // those that have sent nothing yet, oldest first
    QList<QTcpSocket*> m_waiting;   // those waiting for the text
    QList<QTcpSocket*> m_receiving; // those getting the text in pieces now
    QList<QTcpSocket*> m_sending;   // those with text not yet written out
    bool m_wanted = false;          // a text is asked for and not yet complete
    bool m_begun = false;           // its first piece came
    qint64 m_published = 0;         // bytes of all pieces so far
    qint64 m_written = 0;           // of them, no longer queued anywhere
    // A child, so it moves to another thread with the server; last, so the
    // connections it owns go before the lists that name them.
    QTcpServer m_server;
};
