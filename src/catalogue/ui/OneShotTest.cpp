#include "catalogue/ui/OneShotTest.h"

#include "catalogue/ui/MultiLineText.h"
#include "monitor/GbkText.h"
#include "monitor/RequestPayload.h"
#include "monitor/SocketElement.h"
#include "monitor/TextNumbers.h"

OneShotTest::OneShotTest(MultiLineText& output, std::function<QString()> request, bool hexEnabled,
                         QObject* parent)
    : QObject(parent)
    , m_output(output)
    , m_request(std::move(request))
    , m_hexEnabled(hexEnabled)
    , WskWeb(new SocketElement(0, this)) {
    connect(WskWeb, &SocketElement::Connected, this, &OneShotTest::WskWeb_Connect);
    connect(WskWeb, &SocketElement::DataArrival, this, &OneShotTest::WskWeb_DataArrival);
    connect(WskWeb, &SocketElement::Error, this, &OneShotTest::WskWeb_Error);
}

OneShotTest::~OneShotTest() = default;

void OneShotTest::start(const QString& host, const QString& portText) {
    m_output.setText(QString());
    emit started();
    WskWeb->Close();
    QString problem;
    if (!WskWeb->Connect(host, leadingInteger(portText), &problem))
        m_output.setText(tr("测试错误：") + problem);
}

QString OneShotTest::cutNote() {
    return tr("\r\n[数据过长,只显示前4KB,其余已截去]");
}

QString OneShotTest::shownReply(const QByteArray& bytes) {
    return bytes.size() > MaxShownBytes ? GbkText::decode(bytes.first(MaxShownBytes)) + cutNote()
                                        : GbkText::decode(bytes);
}

QString OneShotTest::stateText() const {
    return QStringLiteral("SOCKET[IP:") + WskWeb->RemoteHost() + QLatin1Char(':') +
           QString::number(WskWeb->RemotePort()) + tr("] 状态:") +
           SocketStateNames().value(WskWeb->State());
}

void OneShotTest::WskWeb_Connect(quint64) {
    SendRequestText(*WskWeb, m_request(), m_hexEnabled);
}

void OneShotTest::WskWeb_DataArrival(quint64, qint64) {
    const QByteArray bytes = WskWeb->GetData();
    WskWeb->Close();
    m_output.setText(shownReply(bytes));
    emit replyArrived(bytes);
}

void OneShotTest::WskWeb_Error(quint64, int, const QString& description) {
    m_output.setText(m_output.text() + tr("SOCKET错误：") + description);
}
