#include "tls/StartTlsDialogue.h"

#include <utility>

namespace {

// line begins with word, in any case, followed by its end or a blank.
bool beginsWith(QByteArrayView line, QByteArrayView word) {
    return line.size() >= word.size() &&
           QByteArrayView(line.first(word.size())).compare(word, Qt::CaseInsensitive) == 0 &&
           (line.size() == word.size() || line.at(word.size()) == ' ');
}

} // namespace

StartTlsDialogue::StartTlsDialogue(Transport transport)
    : m_transport(transport) {}

StartTlsDialogue::Outcome StartTlsDialogue::receive(QByteArrayView bytes, QByteArray& toSend) {
    if (m_outcome != Outcome::Continue)
        return m_outcome;
    m_read += bytes.size();
    if (m_read > ReadLimit)
        return refuse(tr("应答过长"));
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        if (m_line.size() + piece.size() > LineLimit)
            return refuse(tr("应答行过长"));
        m_line.append(piece);
        if (end < 0)
            break;
        bytes = bytes.sliced(end + 1);
        QByteArray line = std::exchange(m_line, QByteArray());
        if (line.endsWith('\r'))
            line.chop(1);
        if (const Outcome outcome = takeLine(line, toSend); outcome != Outcome::Continue)
            return outcome;
    }
    return Outcome::Continue;
}

StartTlsDialogue::Outcome StartTlsDialogue::receiveEnd() {
    return m_outcome == Outcome::Continue ? refuse(tr("对方关闭了连接")) : m_outcome;
}

StartTlsDialogue::Outcome StartTlsDialogue::takeLine(QByteArrayView line, QByteArray& toSend) {
    switch (judge(line)) {
    case Verdict::More:
        return Outcome::Continue;
    case Verdict::Wrong:
        return refuse(
            tr("对方应答:%1")
                .arg(
                    QString::fromUtf8(line.first(qMin<qsizetype>(line.size(), 200))).simplified()));
    case Verdict::Complete:
        break;
    }
    m_multiLine = false;
    if (m_step == Step::Upgrade) {
        m_outcome = Outcome::Upgrade;
        return m_outcome;
    }
    const bool greeting = m_step == Step::Greeting;
    m_step = greeting && m_transport != Transport::StartTlsFtp ? Step::Capabilities : Step::Upgrade;
    switch (m_transport) {
    case Transport::StartTlsSmtp:
        toSend += greeting ? "EHLO servermon\r\n" : "STARTTLS\r\n";
        break;
    case Transport::StartTlsImap:
        toSend += greeting ? "a1 CAPABILITY\r\n" : "a2 STARTTLS\r\n";
        break;
    case Transport::StartTlsPop3:
        toSend += greeting ? "CAPA\r\n" : "STLS\r\n";
        break;
    default:
        toSend += "AUTH TLS\r\n";
        break;
    }
    return Outcome::Continue;
}

StartTlsDialogue::Verdict StartTlsDialogue::judge(QByteArrayView line) {
    switch (m_transport) {
    case Transport::StartTlsSmtp:
        return codedReply(line, m_step == Step::Capabilities ? "250" : "220");
    case Transport::StartTlsImap:
        if (m_step == Step::Greeting)
            return beginsWith(line, "* OK") ? Verdict::Complete : Verdict::Wrong;
        return imapReply(line, m_step == Step::Capabilities ? "a1 OK" : "a2 OK");
    case Transport::StartTlsPop3:
        return pop3Reply(line);
    default:
        return codedReply(line, m_step == Step::Greeting ? "220" : "234");
    }
}

// A reply of SMTP or FTP with the expected code, on one line ("220 text") or
// several ("220-text" up to "220 text"). SMTP marks every inner line with the
// code; FTP's inner lines are free text.
StartTlsDialogue::Verdict StartTlsDialogue::codedReply(QByteArrayView line, QByteArrayView code) {
    const bool sameCode = line.startsWith(code);
    const char mark = line.size() > code.size() ? line.at(code.size()) : ' ';
    if (sameCode && mark == ' ')
        return Verdict::Complete;
    if (sameCode && mark == '-') {
        m_multiLine = true;
        return Verdict::More;
    }
    return m_multiLine && m_transport == Transport::StartTlsFtp ? Verdict::More : Verdict::Wrong;
}

// Untagged lines ("* CAPABILITY ...") come before the tagged answer.
StartTlsDialogue::Verdict StartTlsDialogue::imapReply(QByteArrayView line, QByteArrayView tagged) {
    if (line.startsWith("* "))
        return Verdict::More;
    return beginsWith(line, tagged) ? Verdict::Complete : Verdict::Wrong;
}

// The greeting and the answer to STLS are "+OK"; CAPA answers "+OK" and a
// list that ends with a line of ".".
StartTlsDialogue::Verdict StartTlsDialogue::pop3Reply(QByteArrayView line) {
    if (m_step == Step::Capabilities && m_multiLine)
        return line == "." ? Verdict::Complete : Verdict::More;
    if (!beginsWith(line, "+OK"))
        return Verdict::Wrong;
    if (m_step != Step::Capabilities)
        return Verdict::Complete;
    m_multiLine = true;
    return Verdict::More;
}

StartTlsDialogue::Outcome StartTlsDialogue::refuse(const QString& reason) {
    m_reason = reason;
    m_line = QByteArray();
    m_outcome = Outcome::Refused;
    return m_outcome;
}
