#include "catalogue/ui/FormInfo.h"

#include "catalogue/HexDump.h"
#include "catalogue/ui/DesignTexts.h"
#include "catalogue/ui/MultiLineText.h"
#include "catalogue/ui/OneShotTest.h"
#include "catalogue/ui/TransportLabels.h"
#include "config/Twips.h"
#include "monitor/GbkText.h"
#include "monitor/ModulePing.h"
#include "platform/EchoService.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

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

// Places a widget unless the size would be negative, which keeps the last placement.
void place(QWidget* widget, int left, int top, int width, int height) {
    if (width >= 0 && height >= 0)
        widget->setGeometry(left, top, width, height);
}
} // namespace

FormInfo::FormInfo(EchoService& echo, QWidget* parent)
    : QDialog(parent)
    , m_echo(echo)
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
    , Cmd_Send(named(new QPushButton(tr("SOCKET测试"), this), "Cmd_Send"))
    , Cmd_Ping(named(new QPushButton(tr("PING测试"), this), "Cmd_Ping"))
    , CmdHistory(named(new QPushButton(tr("历史记录"), this), "CmdHistory"))
    , CmdCancel(named(new QPushButton(tr("退出"), this), "CmdCancel"))
    , lb_WskState(named(new QLabel(tr("SOCKET状态:"), this), "lb_WskState"))
    , TimerWsk(new QTimer(this))
    , m_test(new OneShotTest(
          *TextReplyData, [this] { return TextPostData->text(); }, true, this)) {
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
    Label4->setBuddy(TextPostData);
    Label5->setBuddy(TextReplyData);
    for (auto* button : {Cmd_Send, Cmd_Ping, CmdHistory, CmdCancel})
        button->setAutoDefault(false);
    CmdHistory->setEnabled(false);

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
    Label4->setGeometry(10, 144, 64, 22);
    TextPostData->setGeometry(80, 144, 300, 96);
    Label5->setGeometry(10, 250, 64, 22);
    TextReplyData->setGeometry(80, 250, 300, 80);
    TextReplyHex->setGeometry(80, 336, 300, 80);
    for (auto* button : {Cmd_Send, Cmd_Ping, CmdHistory, CmdCancel})
        button->resize(96, 28);
    resize(600, 560);

    connect(Cmd_Send, &QPushButton::clicked, this, &FormInfo::Cmd_Send_Click);
    connect(Cmd_Ping, &QPushButton::clicked, this, &FormInfo::Cmd_Ping_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FormInfo::CmdCancel_Click);
    connect(CmdHistory, &QPushButton::clicked, this, &FormInfo::historyRequested);
    connect(TimerWsk, &QTimer::timeout, this, &FormInfo::TimerWsk_Timer);
    connect(m_test, &OneShotTest::started, TextReplyHex, &QPlainTextEdit::clear);
    connect(m_test, &OneShotTest::replyArrived, this, &FormInfo::showReplyBytes);
    TimerWsk->start(100);
}

FormInfo::~FormInfo() = default;

void FormInfo::setServer(const ServerRecord& server) {
    TextDisplayName->setText(server.displayName);
    TextIPAddress->setText(server.ipAddress);
    TextPort->setText(server.port);
    TextTransport->setText(TransportLabels::Label(server.tls.transport));
    // Without a name of its own, a TLS probe checks the certificate against the address.
    const bool secured = !server.tls.isPlain();
    TextTlsName->setEnabled(secured);
    TextTlsName->setText(!secured                          ? QString()
                         : server.tls.serverName.isEmpty() ? server.ipAddress
                                                           : server.tls.serverName);
    TextPostData->setText(server.postData);
    TextReplyData->setText(server.replyData);
    CmdHistory->setEnabled(true);
}

void FormInfo::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void FormInfo::Form_Resize() {
    const int margin = Twips::toPixelsX(100);
    const int frameWidth = width() - Twips::toPixelsX(200);
    const int frameBottom = height() - CmdCancel->height() - margin;
    place(Frame1, margin, margin, frameWidth, frameBottom - margin);

    const int boxWidth = frameWidth - TextPostData->x() - margin;
    place(TextTlsName, TextTlsName->x(), TextTlsName->y(), boxWidth, TextTlsName->height());
    place(TextPostData, TextPostData->x(), TextPostData->y(), boxWidth, TextPostData->height());
    // The reply text and its byte view share the height the reply box is given.
    const int replyTop = TextReplyData->y();
    const int replyHeight = Frame1->height() - replyTop - margin;
    const int textHeight = (replyHeight - margin) / 2;
    place(TextReplyData, TextReplyData->x(), replyTop, boxWidth, textHeight);
    place(TextReplyHex, TextReplyData->x(), replyTop + textHeight + margin, boxWidth,
          replyHeight - textHeight - margin);

    const int cancelLeft = width() - CmdCancel->width() - margin;
    const int buttonTop = frameBottom + Twips::toPixelsY(50);
    CmdCancel->move(cancelLeft, buttonTop);
    CmdHistory->move(cancelLeft - CmdHistory->width() - margin, buttonTop);
    Cmd_Ping->move(CmdHistory->x() - Cmd_Ping->width() - margin, buttonTop);
    Cmd_Send->move(Cmd_Ping->x() - Cmd_Send->width() - margin, buttonTop);
    place(lb_WskState, margin, frameBottom + margin, Cmd_Send->x() - 2 * margin,
          CmdCancel->height() - margin);
}

void FormInfo::Cmd_Send_Click() {
    m_test->start(TextIPAddress->text(), TextPort->text());
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
    lb_WskState->setText(m_test->stateText());
}

void FormInfo::showReplyBytes(const QByteArray& bytes) {
    TextReplyHex->setPlainText(HexDump::format(bytes));
}
