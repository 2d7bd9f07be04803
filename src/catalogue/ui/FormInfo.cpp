#include "catalogue/ui/FormInfo.h"

#include "catalogue/AgentCatalogue.h"
#include "catalogue/HexDump.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ui/DesignTexts.h"
#include "catalogue/ui/MultiLineText.h"
#include "catalogue/ui/OneShotTest.h"
#include "catalogue/ui/TransportLabels.h"
#include "config/Twips.h"
#include "monitor/CertificateFactsText.h"
#include "monitor/GbkText.h"
#include "monitor/HttpCheck.h"
#include "monitor/HttpProbeTest.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/TlsProbeTest.h"
#include "platform/Clock.h"
#include "platform/EchoService.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

namespace {
template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString pingReport(const QString& address, const EchoReply& reply) {
    QString report = QStringLiteral("Status:") + ModulePing::PingStatusText(reply.status) +
                     QStringLiteral("\r\nIP:") + address + QStringLiteral("\r\nTime:") +
                     QString::number(reply.roundTripTime) + QStringLiteral(" ms\r\nTTL:") +
                     QString::number(reply.ttl) + QStringLiteral("\r\nSize:") +
                     QString::number(reply.dataSize) + QStringLiteral(" bytes");
    const qsizetype end = reply.data.indexOf('\0');
    const QByteArray echoed = end < 0 ? reply.data : reply.data.first(end);
    if (!echoed.isEmpty())
        report += QStringLiteral("\r\nSended Data:") + GbkText::decode(echoed);
    return report;
}

// Design tops of the request and the reply; a TLS server's certificate box
// sits above them and moves them down by CertificateBlock.
constexpr int PostTop = 144;
constexpr int ReplyTop = 250;
constexpr int CertificateHeight = 200;
constexpr int CertificateBlock = CertificateHeight + 10;

// The agents' results sit between the frame and the buttons; the window
// grows by AgentBlock when they show.
constexpr int AgentTitleHeight = 22;
constexpr int AgentBlock = 150;
constexpr int AgentRefreshMs = 10000;

// Places a widget unless the size would be negative, which keeps the last placement.
void place(QWidget* widget, int left, int top, int width, int height) {
    if (width >= 0 && height >= 0)
        widget->setGeometry(left, top, width, height);
}
} // namespace

FormInfo::FormInfo(EchoService& echo, QWidget* parent)
    : QDialog(parent)
    , m_echo(echo)
    , m_timeOutMs(MonitorSettings().iTimeOut)
    , Frame1(named(new QGroupBox(tr("服务器信息"), this), "Frame1"))
    , Label1(named(new QLabel(tr("服务器名:"), Frame1), "Label1"))
    , TextDisplayName(named(new QLineEdit(Frame1), "TextDisplayName"))
    , Label2(named(new QLabel(tr("I   P地址:"), Frame1), "Label2"))
    , TextIPAddress(named(new QLineEdit(Frame1), "TextIPAddress"))
    , Label3(named(new QLabel(tr("目标端口:"), Frame1), "Label3"))
    , TextPort(named(new QLineEdit(DesignTexts::defaultPort(), Frame1), "TextPort"))
    , Label6(named(new QLabel(tr("传输方式:"), Frame1), "Label6"))
    , TextTransport(
          named(new QLineEdit(TransportLabels::Label(Transport::Plain), Frame1), "TextTransport"))
    , Label7(named(new QLabel(tr("TLS主机名:"), Frame1), "Label7"))
    , TextTlsName(named(new QLineEdit(Frame1), "TextTlsName"))
    , Label4(named(new QLabel(tr("发送数据:"), Frame1), "Label4"))
    , TextPostData(named(new MultiLineText(Frame1), "TextPostData"))
    , Label5(named(new QLabel(tr("响应数据:"), Frame1), "Label5"))
    , TextReplyData(named(new MultiLineText(Frame1), "TextReplyData"))
    , TextReplyHex(named(new QPlainTextEdit(Frame1), "TextReplyHex"))
    , Label8(named(new QLabel(tr("证书信息:"), Frame1), "Label8"))
    , TextCertificate(named(new QPlainTextEdit(Frame1), "TextCertificate"))
    , Cmd_Send(named(new QPushButton(tr("SOCKET测试"), this), "Cmd_Send"))
    , Cmd_Tls(named(new QPushButton(tr("TLS测试"), this), "Cmd_Tls"))
    , Cmd_Http(named(new QPushButton(tr("HTTP测试"), this), "Cmd_Http"))
    , Cmd_Ping(named(new QPushButton(tr("PING测试"), this), "Cmd_Ping"))
    , CmdHistory(named(new QPushButton(tr("历史记录"), this), "CmdHistory"))
    , CmdCancel(named(new QPushButton(tr("退出"), this), "CmdCancel"))
    , lb_WskState(named(new QLabel(tr("SOCKET状态:"), this), "lb_WskState"))
    , TimerWsk(new QTimer(this))
    , Label9(named(new QLabel(tr("各代理的监测结果:"), this), "Label9"))
    , LstAgents(named(new QTreeWidget(this), "LstAgents"))
    , TimerAgents(named(new QTimer(this), "TimerAgents"))
    , m_test(new OneShotTest(
          *TextReplyData, [this] { return TextPostData->text(); }, true, this))
    , m_tlsTest(new TlsProbeTest(this))
    , m_httpTest(new HttpProbeTest(this)) {
    setWindowTitle(tr("服务器详细信息"));
    setModal(true);
    TimerWsk->setObjectName(QStringLiteral("TimerWsk"));
    TextPostData->setText(DesignTexts::defaultRequest());
    TextReplyData->setText(DesignTexts::defaultReply());
    lb_WskState->setTextFormat(Qt::PlainText); // it names the address as typed
    TextReplyHex->setReadOnly(true);
    TextReplyHex->setAccessibleName(tr("响应数据(HEX)"));
    TextReplyHex->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TextReplyHex->setLineWrapMode(QPlainTextEdit::NoWrap);
    Label1->setBuddy(TextDisplayName);
    Label2->setBuddy(TextIPAddress);
    Label3->setBuddy(TextPort);
    Label6->setBuddy(TextTransport);
    Label7->setBuddy(TextTlsName);
    TextTransport->setReadOnly(true);
    TextTlsName->setReadOnly(true);
    TextTlsName->setEnabled(false);
    Label8->setBuddy(TextCertificate);
    TextCertificate->setReadOnly(true);
    Label8->hide();
    TextCertificate->hide();
    Cmd_Tls->setEnabled(false);
    Cmd_Http->hide();
    Label4->setBuddy(TextPostData);
    Label5->setBuddy(TextReplyData);
    for (auto* button : {Cmd_Send, Cmd_Tls, Cmd_Http, Cmd_Ping, CmdHistory, CmdCancel})
        button->setAutoDefault(false);
    CmdHistory->setEnabled(false);
    Label9->setBuddy(LstAgents);
    LstAgents->setHeaderLabels(
        {tr("代理"), tr("位置"), tr("结果"), tr("状态"), tr("响应时间"), tr("时间")});
    LstAgents->setRootIsDecorated(false);
    LstAgents->setUniformRowHeights(true);
    LstAgents->setAllColumnsShowFocus(true);
    LstAgents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LstAgents->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Label9->hide();
    LstAgents->hide();
    setTabOrder(TextCertificate, LstAgents); // after the frame, before the buttons

    // Design positions inside the frame; Form_Resize sizes the rest.
    Label1->setGeometry(10, 24, 64, 22);
    TextDisplayName->setGeometry(80, 24, 240, 22);
    Label2->setGeometry(10, 54, 64, 22);
    TextIPAddress->setGeometry(80, 54, 160, 22);
    Label3->setGeometry(252, 54, 64, 22);
    TextPort->setGeometry(320, 54, 60, 22);
    Label6->setGeometry(10, 84, 64, 22);
    TextTransport->setGeometry(80, 84, 160, 22);
    Label7->setGeometry(10, 114, 64, 22);
    TextTlsName->setGeometry(80, 114, 300, 22);
    Label8->setGeometry(10, PostTop, 64, 22);
    TextCertificate->setGeometry(80, PostTop, 300, CertificateHeight);
    Label4->setGeometry(10, PostTop, 64, 22);
    TextPostData->setGeometry(80, PostTop, 300, 96);
    Label5->setGeometry(10, ReplyTop, 64, 22);
    TextReplyData->setGeometry(80, ReplyTop, 300, 80);
    TextReplyHex->setGeometry(80, 336, 300, 80);
    for (auto* button : {Cmd_Send, Cmd_Tls, Cmd_Http, Cmd_Ping, CmdHistory, CmdCancel})
        button->resize(96, 28);
    resize(680, 560);

    connect(Cmd_Send, &QPushButton::clicked, this, &FormInfo::Cmd_Send_Click);
    connect(Cmd_Tls, &QPushButton::clicked, this, &FormInfo::Cmd_Tls_Click);
    connect(Cmd_Http, &QPushButton::clicked, this, &FormInfo::Cmd_Http_Click);
    connect(Cmd_Ping, &QPushButton::clicked, this, &FormInfo::Cmd_Ping_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FormInfo::CmdCancel_Click);
    connect(CmdHistory, &QPushButton::clicked, this, &FormInfo::historyRequested);
    connect(TimerWsk, &QTimer::timeout, this, &FormInfo::TimerWsk_Timer);
    connect(TimerAgents, &QTimer::timeout, this, &FormInfo::TimerAgents_Timer);
    connect(m_test, &OneShotTest::started, TextReplyHex, &QPlainTextEdit::clear);
    connect(m_test, &OneShotTest::replyArrived, this, &FormInfo::showReplyBytes);
    connect(m_tlsTest, &TlsProbeTest::finished, this, &FormInfo::tlsTestFinished);
    connect(m_httpTest, &HttpProbeTest::finished, this, &FormInfo::httpTestFinished);
    TimerWsk->start(100);
}

FormInfo::~FormInfo() = default;

void FormInfo::setServer(const ServerRecord& server) {
    TextDisplayName->setText(server.displayName);
    TextIPAddress->setText(server.ipAddress);
    TextPort->setText(server.port);
    TextTransport->setText(TransportLabels::Label(server.tls.transport));
    // Without a name of its own, a TLS probe checks the certificate against the address.
    const bool http = server.checkKind == ServerRecord::CheckKind::Http;
    const bool secured = !server.tls.isPlain() && !http;
    TextTlsName->setEnabled(secured);
    TextTlsName->setText(!secured                          ? QString()
                         : server.tls.serverName.isEmpty() ? server.ipAddress
                                                           : server.tls.serverName);
    TextPostData->setText(server.postData);
    TextReplyData->setText(server.replyData);
    CmdHistory->setEnabled(true);
    m_tls = server.tls;
    m_expected = server.replyData;
    Cmd_Tls->setEnabled(secured);
    // An HTTP(S) server has the HTTP test in the TLS test's place.
    m_httpServer = http ? std::optional<ServerRecord>(server) : std::nullopt;
    Cmd_Tls->setHidden(http);
    Cmd_Http->setVisible(http);
    // The certificate box shows for a TLS or HTTPS server only; the window
    // grows by it, so the request and reply keep their room.
    m_secured = secured || (http && HttpCheck::of(server).isSecure());
    int grown = m_secured == TextCertificate->isHidden()
                    ? (m_secured ? CertificateBlock : -CertificateBlock)
                    : 0;
    Label8->setVisible(m_secured);
    TextCertificate->setVisible(m_secured);
    // Only a shared catalogue has agents; the window grows by their results.
    m_agentServerId = ModuleDB::DbShared() && server.id > 0 ? server.id : 0;
    const bool agents = m_agentServerId > 0;
    if (agents == LstAgents->isHidden())
        grown += agents ? AgentBlock : -AgentBlock;
    Label9->setVisible(agents);
    LstAgents->setVisible(agents);
    LstAgents->clear();
    resize(width(), height() + grown);
    Form_Resize();
    showCertificate({}, m_facts, m_handshakeUs);
    if (!agents)
        TimerAgents->stop();
    else if (isVisible())
        TimerAgents->start(0);
}

void FormInfo::setTlsDetails(const CertificateFacts* facts, qint64 handshakeUs,
                             const QString& expected) {
    m_facts = facts ? std::optional<CertificateFacts>(*facts) : std::nullopt;
    m_handshakeUs = handshakeUs;
    m_expected = expected;
    showCertificate({}, m_facts, m_handshakeUs);
}

void FormInfo::setTlsTestSettings(const MonitorSettings& settings, const Clock& clock) {
    m_timeOutMs = settings.iTimeOut;
    m_caFile = settings.TlsCaFile;
    m_clock = &clock;
    showCertificate({}, m_facts, m_handshakeUs);
}

void FormInfo::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

// Reads the agents' results at once when the window opens, then every
// AgentRefreshMs while it is open.
void FormInfo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_agentServerId > 0)
        TimerAgents->start(0);
}

void FormInfo::hideEvent(QHideEvent* event) {
    TimerAgents->stop();
    QDialog::hideEvent(event);
}

void FormInfo::Form_Resize() {
    const int margin = Twips::toPixelsX(100);
    const int frameWidth = width() - Twips::toPixelsX(200);
    const int agentBlock = LstAgents->isHidden() ? 0 : AgentBlock;
    const int frameBottom = height() - CmdCancel->height() - margin - agentBlock;
    place(Frame1, margin, margin, frameWidth, frameBottom - margin);
    if (agentBlock > 0) {
        place(Label9, margin, frameBottom + margin, frameWidth, AgentTitleHeight);
        const int listTop = frameBottom + margin + AgentTitleHeight;
        place(LstAgents, margin, listTop, frameWidth, frameBottom + agentBlock - listTop);
    }

    const int boxWidth = frameWidth - TextPostData->x() - margin;
    place(TextTlsName, TextTlsName->x(), TextTlsName->y(), boxWidth, TextTlsName->height());
    place(TextCertificate, TextCertificate->x(), PostTop, boxWidth, CertificateHeight);
    const int shift = TextCertificate->isHidden() ? 0 : CertificateBlock;
    Label4->move(Label4->x(), PostTop + shift);
    place(TextPostData, TextPostData->x(), PostTop + shift, boxWidth, TextPostData->height());
    Label5->move(Label5->x(), ReplyTop + shift);
    // The reply text and its byte view share the height the reply box is given.
    const int replyTop = ReplyTop + shift;
    const int replyHeight = Frame1->height() - replyTop - margin;
    const int textHeight = (replyHeight - margin) / 2;
    place(TextReplyData, TextReplyData->x(), replyTop, boxWidth, textHeight);
    place(TextReplyHex, TextReplyData->x(), replyTop + textHeight + margin, boxWidth,
          replyHeight - textHeight - margin);

    const int cancelLeft = width() - CmdCancel->width() - margin;
    const int buttonTop = frameBottom + agentBlock + Twips::toPixelsY(50);
    CmdCancel->move(cancelLeft, buttonTop);
    // The buttons shown stand in a row left of the exit button.
    int left = cancelLeft;
    for (QPushButton* button : {CmdHistory, Cmd_Ping, Cmd_Tls, Cmd_Http, Cmd_Send}) {
        if (button->isHidden())
            continue;
        left -= button->width() + margin;
        button->move(left, buttonTop);
    }
    place(lb_WskState, margin, frameBottom + agentBlock + margin, Cmd_Send->x() - 2 * margin,
          CmdCancel->height() - margin);
}

void FormInfo::Cmd_Send_Click() {
    m_shownTest = Shown::Socket;
    m_test->start(TextIPAddress->text(), TextPort->text());
}

// The server as stored, with the request the window shows; the reply boxes
// show the reply as for the socket test, the certificate box the outcome and
// the facts of this test's own handshake.
void FormInfo::Cmd_Tls_Click() {
    if (m_tls.isPlain())
        return;
    m_shownTest = Shown::Tls;
    TextReplyData->setText(QString());
    TextReplyHex->clear();
    TextCertificate->setPlainText(tr("正在进行TLS测试..."));
    m_tlsTest->start(
        {TextIPAddress->text(), TextPort->text(), m_tls, TextPostData->text(), m_expected},
        m_timeOutMs, m_caFile);
}

// The server's check as stored, with the request body the window shows; the
// reply boxes show the outcome, the phases, the reply's head and the start
// of its body, the certificate box the facts of this test's own handshake.
void FormInfo::Cmd_Http_Click() {
    if (!m_httpServer)
        return;
    m_shownTest = Shown::Http;
    TextReplyData->setText(QString());
    TextReplyHex->clear();
    if (m_secured)
        TextCertificate->setPlainText(tr("正在进行HTTP测试..."));
    m_httpTest->start({HttpCheck::of(*m_httpServer), TextPostData->text(), m_expected,
                       m_httpServer->tls.ignoreErrors},
                      m_timeOutMs, m_caFile);
}

void FormInfo::Cmd_Ping_Click() {
    // One ping test at a time: a second press while the echo is under way is
    // ignored. The window is the echo's context, so closing it cancels the echo.
    if (m_pingWaiting)
        return;
    m_pingWaiting = true;
    TextReplyHex->clear();
    const QString address = TextIPAddress->text();
    m_echo.PingHost(address, this, [this, address](long, const EchoReply& reply) {
        m_pingWaiting = false;
        TextReplyData->setText(pingReport(address, reply));
    });
}

void FormInfo::CmdCancel_Click() {
    reject();
}

void FormInfo::TimerWsk_Timer() {
    switch (m_shownTest) {
    case Shown::Socket:
        lb_WskState->setText(m_test->stateText());
        break;
    case Shown::Tls:
        lb_WskState->setText(m_tlsTest->stateText());
        break;
    case Shown::Http:
        lb_WskState->setText(m_httpTest->stateText());
        break;
    }
}

// The read waits for the catalogue's worker in a local event loop: a read
// still under way is not started again, and a window gone meanwhile is not
// touched. A failed read keeps what the list shows.
void FormInfo::TimerAgents_Timer() {
    if (m_agentServerId <= 0 || m_readingAgents)
        return;
    TimerAgents->start(AgentRefreshMs);
    m_readingAgents = true;
    const QPointer<FormInfo> alive(this);
    const qint64 serverId = m_agentServerId;
    bool ok = false;
    const QList<AgentServerState> states = AgentCatalogue::SelectStates(serverId, &ok);
    if (!alive)
        return;
    m_readingAgents = false;
    if (ok && serverId == m_agentServerId)
        showAgentStates(states);
}

void FormInfo::showAgentStates(const QList<AgentServerState>& states) {
    const int scrolled = LstAgents->verticalScrollBar()->value();
    LstAgents->clear();
    if (states.isEmpty()) {
        auto* none = new QTreeWidgetItem(LstAgents, {tr("没有代理监测此服务器")});
        none->setFirstColumnSpanned(true);
        return;
    }
    for (const AgentServerState& agent : states) {
        // An agent that has not probed the server yet, or got no reply, has
        // no reply time.
        const bool probed = !agent.state.isEmpty();
        const QString result = !probed                                ? tr("未监测")
                               : agent.state == QLatin1String("up")   ? tr("正常")
                               : agent.state == QLatin1String("down") ? tr("故障")
                                                                      : agent.state;
        const QString location = agent.location.isEmpty() ? tr("(无位置)") : agent.location;
        const QString reply =
            probed && agent.replyMs >= 0 ? tr("%1 毫秒").arg(agent.replyMs) : QString();
        const QString time = agent.timeUtcMs > 0
                                 ? QDateTime::fromMSecsSinceEpoch(agent.timeUtcMs)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 : QString();
        new QTreeWidgetItem(LstAgents, {agent.agent, location, result, agent.status, reply, time});
    }
    LstAgents->verticalScrollBar()->setValue(scrolled);
}

void FormInfo::showReplyBytes(const QByteArray& bytes) {
    TextReplyHex->setPlainText(HexDump::format(bytes));
}

void FormInfo::tlsTestFinished() {
    const QByteArray reply = m_tlsTest->reply();
    if (!reply.isEmpty()) {
        TextReplyData->setText(OneShotTest::shownReply(reply));
        showReplyBytes(reply);
    }
    showCertificate(
        {tr("TLS测试:") + m_tlsTest->status(), tr("用时:%1ms").arg(m_tlsTest->elapsedMs())},
        m_tlsTest->facts(), m_tlsTest->handshakeUs());
}

void FormInfo::httpTestFinished() {
    TextReplyData->setText(m_httpTest->report().join(QLatin1Char('\n')));
    const QByteArray& body = m_httpTest->result().body;
    showReplyBytes(body.first(qMin(body.size(), HttpProbeTest::ShownBodyBytes)));
    const HttpResult& result = m_httpTest->result();
    showCertificate({tr("HTTP测试:") + m_httpTest->status(),
                     tr("用时:%1ms").arg((result.timings.totalUs + 500) / 1000)},
                    result.facts, result.facts ? result.timings.tlsUs : 0);
}

void FormInfo::showCertificate(const QStringList& heading,
                               const std::optional<CertificateFacts>& facts, qint64 handshakeUs) {
    if (!m_secured)
        return;
    QStringList lines = heading;
    if (facts)
        lines += CertificateFactsText::lines(*facts, handshakeUs, utcNowMs(), m_tls.ignoreErrors);
    else if (heading.isEmpty())
        lines.append(CertificateFactsText::noHandshake());
    TextCertificate->setPlainText(lines.join(QLatin1Char('\n')));
}

qint64 FormInfo::utcNowMs() const {
    return m_clock ? m_clock->utcMs() : QDateTime::currentMSecsSinceEpoch();
}
