#include "catalogue/ui/ServerEditor.h"

#include "app/AppVersion.h"
#include "catalogue/ModuleGetPostData.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ServerChecks.h"
#include "catalogue/ui/DesignTexts.h"
#include "catalogue/ui/HttpCheckFields.h"
#include "catalogue/ui/MultiLineText.h"
#include "catalogue/ui/OneShotTest.h"
#include "catalogue/ui/TransportLabels.h"
#include "monitor/ServerDependencies.h"
#include "platform/PlainText.h"
#include "platform/gui/MessageBoxes.h"
#include "tls/TlsNameCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <optional>

namespace {
template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* button(const QString& caption, const char* name) {
    auto* result = named(new QPushButton(caption), name);
    result->setAutoDefault(false);
    return result;
}

void addRow(QGridLayout& grid, int row, const QString& caption, QWidget* field) {
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    grid.addWidget(label, row, 0, Qt::AlignTop);
    grid.addWidget(field, row, 1);
}
} // namespace

ServerEditor::ServerEditor(const QString& title, QWidget* parent)
    : QDialog(parent)
    , Frame1(named(new QGroupBox(tr("服务器信息")), "Frame1"))
    , TextDisplayName(named(new QLineEdit, "TextDisplayName"))
    , ComboCheckKind(named(new QComboBox, "ComboCheckKind"))
    , TextIPAddress(named(new QLineEdit, "TextIPAddress"))
    , TextPort(named(new QLineEdit(DesignTexts::defaultPort()), "TextPort"))
    , TextWarnMs(named(new QLineEdit(QStringLiteral("0")), "TextWarnMs"))
    , ComboTransport(named(new QComboBox, "ComboTransport"))
    , TextTlsName(named(new QLineEdit, "TextTlsName"))
    , CheckTlsIgnoreErrors(named(new QCheckBox(tr("忽略证书错误")), "CheckTlsIgnoreErrors"))
    , SpinCertWarnDays(named(new QSpinBox, "SpinCertWarnDays"))
    , TextPostData(named(new MultiLineText, "TextPostData"))
    , TextReplyData(named(new MultiLineText, "TextReplyData"))
    , CheckInUse(named(new QCheckBox(tr("启用监控")), "CheckInUse"))
    , ComboParent(named(new QComboBox, "ComboParent"))
    , TextLocations(named(new QLineEdit, "TextLocations"))
    , CmdAuto(button(tr("加载模版"), "CmdAuto"))
    , CmdTest(button(tr("测试"), "CmdTest"))
    , CmdSave(button(tr("保存"), "CmdSave"))
    , CmdCancel(button(tr("退出"), "CmdCancel"))
    , lb_WskState(named(new QLabel(tr("SOCKET状态:")), "lb_WskState"))
    , TimerWsk(named(new QTimer(this), "TimerWsk"))
    , m_http(std::make_unique<HttpCheckFields>(*this))
    , m_buttonRow(new QHBoxLayout)
    , m_test(new OneShotTest(
          *TextReplyData, [this] { return TextPostData->text(); }, false, this)) {
    setWindowTitle(title);
    setModal(true);
    TextPostData->setText(DesignTexts::defaultRequest());
    TextReplyData->setText(DesignTexts::defaultReply());
    CheckInUse->setChecked(true);
    lb_WskState->setStyleSheet(QStringLiteral("color: red"));
    lb_WskState->setTextFormat(Qt::PlainText); // it names the address as typed
    TextPort->setMaximumWidth(120);
    TextWarnMs->setMaximumWidth(120);
    TextWarnMs->setToolTip(tr("正确的回应慢于此毫秒数时提示响应缓慢,0为不提示"));
    ComboCheckKind->addItem(tr("TCP"), static_cast<int>(ServerRecord::CheckKind::Tcp));
    ComboCheckKind->addItem(tr("HTTP(S)"), static_cast<int>(ServerRecord::CheckKind::Http));
    for (const Transport transport : TransportLabels::All())
        ComboTransport->addItem(TransportLabels::Label(transport), static_cast<int>(transport));
    TextTlsName->setToolTip(tr("证书应当属于的主机名,为空时使用IP地址"));
    TextTlsName->setPlaceholderText(tr("为空时使用IP地址"));
    CheckTlsIgnoreErrors->setToolTip(tr("不受信任和主机名不符不算故障,到期仍然提醒"));
    SpinCertWarnDays->setRange(0, ServerChecks::MaxCertWarnDays);
    SpinCertWarnDays->setValue(ServerRecord{}.certWarnDays);
    SpinCertWarnDays->setToolTip(tr("证书剩余天数不超过此值时提醒一次,0为不提醒"));
    TextLocations->setToolTip(tr("逗号分隔的位置名称;留空表示所有位置都监测"));
    ComboTransport_Change();
    fillParents();

    auto* transportRow = new QHBoxLayout;
    transportRow->addWidget(ComboTransport);
    transportRow->addWidget(CheckTlsIgnoreErrors);
    transportRow->addStretch();
    auto* transportField = new QWidget;
    transportField->setLayout(transportRow);
    transportRow->setContentsMargins(0, 0, 0, 0);

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(TextPort);
    portRow->addWidget(CmdAuto);
    portRow->addWidget(CheckInUse);
    portRow->addStretch();
    auto* portField = new QWidget;
    portField->setLayout(portRow);
    portRow->setContentsMargins(0, 0, 0, 0);

    auto* grid = new QGridLayout(Frame1);
    addRow(*grid, 0, tr("服务器名:"), TextDisplayName);
    addRow(*grid, 1, tr("检查方式:"), ComboCheckKind);
    m_http->addRows(*grid, 2);
    addRow(*grid, 7, tr("I   P地址:"), TextIPAddress);
    addRow(*grid, 8, tr("目标端口:"), portField);
    addRow(*grid, 9, tr("响应警告(ms):"), TextWarnMs);
    addRow(*grid, 10, tr("传输方式:"), transportField);
    addRow(*grid, 11, tr("TLS主机名:"), TextTlsName);
    addRow(*grid, 12, tr("证书到期提醒(天):"), SpinCertWarnDays);
    addRow(*grid, 13, tr("发送数据:"), TextPostData);
    addRow(*grid, 14, tr("响应数据:"), TextReplyData);
    addRow(*grid, 15, tr("上级服务器:"), ComboParent);
    addRow(*grid, 16, tr("监测位置:"), TextLocations);
    m_http->setShown(false);

    m_buttonRow->addWidget(lb_WskState, 1);
    m_buttonRow->addWidget(CmdTest);
    m_buttonRow->addWidget(CmdSave);
    m_buttonRow->addWidget(CmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addLayout(m_buttonRow);
    resize(520, 560);

    connect(CmdAuto, &QPushButton::clicked, this, &ServerEditor::CmdAuto_Click);
    connect(CmdTest, &QPushButton::clicked, this, &ServerEditor::CmdTest_Click);
    connect(TimerWsk, &QTimer::timeout, this, &ServerEditor::TimerWsk_Timer);
    connect(ComboTransport, &QComboBox::currentIndexChanged, this,
            &ServerEditor::ComboTransport_Change);
    connect(ComboCheckKind, &QComboBox::currentIndexChanged, this,
            &ServerEditor::ComboCheckKind_Change);
    connect(m_http->TextUrl, &QLineEdit::textChanged, this, &ServerEditor::TextUrl_Change);
    TimerWsk->start(100);
}

ServerEditor::~ServerEditor() = default;

ServerRecord ServerEditor::fields() const {
    ServerRecord server = m_given;
    server.displayName = TextDisplayName->text();
    server.ipAddress = TextIPAddress->text();
    server.port = TextPort->text();
    server.postData = TextPostData->text();
    server.replyData = TextReplyData->text();
    server.inUse = CheckInUse->isChecked();
    server.warnMs = ServerChecks::WarnMsOf(TextWarnMs->text()).value_or(0);
    server.tls.transport = chosenTransport();
    server.tls.serverName = TextTlsName->text();
    server.tls.ignoreErrors = CheckTlsIgnoreErrors->isChecked();
    server.certWarnDays = SpinCertWarnDays->value();
    server.parentId = chosenParent();
    // Locations that are none stay as typed, for validateFields to refuse.
    server.locations =
        ServerChecks::LocationsOf(TextLocations->text()).value_or(TextLocations->text());
    server.checkKind = chosenCheckKind();
    if (server.checkKind == ServerRecord::CheckKind::Http) {
        m_http->takeFields(server);
        ServerChecks::TakeUrlAddress(server);
    }
    return server;
}

void ServerEditor::setFields(const ServerRecord& server) {
    m_given = server;
    // The kind first: what choosing it does to the other fields is then
    // overwritten by the server's own values.
    m_http->setFields(server);
    ComboCheckKind->setCurrentIndex(ComboCheckKind->findData(static_cast<int>(server.checkKind)));
    TextDisplayName->setText(server.displayName);
    TextIPAddress->setText(server.ipAddress);
    TextPort->setText(server.port);
    TextPostData->setText(server.postData);
    TextReplyData->setText(server.replyData);
    CheckInUse->setChecked(server.inUse);
    TextWarnMs->setText(QString::number(server.warnMs));
    ComboTransport->setCurrentIndex(
        ComboTransport->findData(static_cast<int>(server.tls.transport)));
    TextTlsName->setText(server.tls.serverName);
    CheckTlsIgnoreErrors->setChecked(server.tls.ignoreErrors);
    SpinCertWarnDays->setValue(server.certWarnDays);
    TextLocations->setText(server.locations);
    m_tcpAddress = server.ipAddress;
    m_tcpPort = server.port;
    m_designTextsCleared = false;
    TextUrl_Change();
    // A server is not its own parent.
    if (const int own = ComboParent->findData(server.id); server.id > 0 && own > 0)
        ComboParent->removeItem(own);
    // A parent the catalogue no longer holds stays as it was unless changed.
    if (ComboParent->findData(server.parentId) < 0)
        ComboParent->addItem(QLatin1Char('#') + QString::number(server.parentId), server.parentId);
    ComboParent->setCurrentIndex(ComboParent->findData(server.parentId));
}

// Every server of the catalogue by name and address, after "无"; typing
// any part of the text finds it.
void ServerEditor::fillParents() {
    ComboParent->setEditable(true);
    ComboParent->setInsertPolicy(QComboBox::NoInsert);
    ComboParent->addItem(tr("无"), qint64(0));
    for (const ServerRecord& server :
         ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
        ComboParent->addItem(server.displayName + QStringLiteral(" [") + server.ipAddress +
                                 QLatin1Char(']'),
                             server.id);
    ComboParent->completer()->setFilterMode(Qt::MatchContains);
    ComboParent->completer()->setCompletionMode(QCompleter::PopupCompletion);
}

qint64 ServerEditor::chosenParent() const {
    const int typed = ComboParent->findText(ComboParent->currentText());
    return ComboParent->itemData(typed >= 0 ? typed : ComboParent->currentIndex()).toLongLong();
}

bool ServerEditor::validateFields() {
    const auto refuse = [this](QWidget* field, const QString& text) {
        MessageBoxes::show(this, QMessageBox::NoIcon, AppVersion::title(), text);
        field->setFocus();
        return false;
    };
    const ServerRecord server = fields();
    if (const std::optional<ServerChecks::Refusal> missing = ServerChecks::MissingField(server))
        return refuse(missing->field == ServerChecks::Field::DisplayName ? TextDisplayName
                                                                         : TextIPAddress,
                      missing->text);
    if (const std::optional<ServerChecks::Refusal> wrong = ServerChecks::HttpRefusal(server))
        return refuse(m_http->fieldOf(wrong->field), wrong->text);
    if (!ServerChecks::WarnMsOf(TextWarnMs->text()))
        return refuse(TextWarnMs, tr("响应警告(ms)必须是0到3600000之间的整数,0为不提示！"));
    if (const QString problem = tlsNameProblem(TextTlsName->text()); !problem.isEmpty())
        return refuse(TextTlsName, problem);
    if (m_given.id > 0 && ServerDependencies::formsCycle(ServerCatalogue::SelectParents(),
                                                         m_given.id, chosenParent()))
        return refuse(ComboParent, tr("不能形成循环依赖"));
    if (!ServerChecks::LocationsOf(TextLocations->text()))
        return refuse(TextLocations, tr("监测位置的名称不能包含换行、制表符等控制字符！"));
    return true;
}

void ServerEditor::CmdAuto_Click() {
    const auto found =
        ModuleGetPostData::LoadRequestTemplate(TextPort->text().trimmed(), chosenTransport());
    if (!found || found->postData.isEmpty()) {
        TextPort->setToolTip(tr("数据库中无该端口信息"));
        return;
    }
    TextPostData->setText(found->postData);
    TextReplyData->setText(found->replyData);
    TextPort->setToolTip(
        PlainText::asRichText(tr("端口类型[") + found->serverType + QLatin1Char(']')));
}

void ServerEditor::CmdTest_Click() {
    m_test->start(TextIPAddress->text(), TextPort->text());
}

void ServerEditor::TimerWsk_Timer() {
    lb_WskState->setText(m_test->stateText());
}

Transport ServerEditor::chosenTransport() const {
    return static_cast<Transport>(ComboTransport->currentData().toInt());
}

ServerRecord::CheckKind ServerEditor::chosenCheckKind() const {
    return static_cast<ServerRecord::CheckKind>(ComboCheckKind->currentData().toInt());
}

void ServerEditor::ComboTransport_Change() {
    const bool http = chosenCheckKind() == ServerRecord::CheckKind::Http;
    const bool secured = chosenTransport() != Transport::Plain;
    ComboTransport->setEnabled(!http);
    TextTlsName->setEnabled(secured && !http);
    CheckTlsIgnoreErrors->setEnabled(secured || http);
    SpinCertWarnDays->setEnabled(secured || http);
}

void ServerEditor::ComboCheckKind_Change() {
    const bool http = chosenCheckKind() == ServerRecord::CheckKind::Http;
    m_http->setShown(http);
    TextIPAddress->setReadOnly(http);
    TextPort->setReadOnly(http);
    CmdAuto->setEnabled(!http);
    ComboTransport_Change();
    TextPostData->setToolTip(http ? tr("POST 和 PUT 请求的正文") : QString());
    TextReplyData->setToolTip(http ? tr("回应正文应当包含的文字,为空时不检查") : QString());
    if (http) {
        m_tcpAddress = TextIPAddress->text();
        m_tcpPort = TextPort->text();
        TextUrl_Change();
        // The design request and reply are a TCP exchange: as a body and
        // an expected body they would fail every check.
        m_designTextsCleared = TextPostData->text() == DesignTexts::defaultRequest() &&
                               TextReplyData->text() == DesignTexts::defaultReply();
        if (m_designTextsCleared) {
            TextPostData->setText({});
            TextReplyData->setText({});
        }
    } else {
        TextIPAddress->setText(m_tcpAddress);
        TextPort->setText(m_tcpPort);
        if (m_designTextsCleared && TextPostData->text().isEmpty() &&
            TextReplyData->text().isEmpty()) {
            TextPostData->setText(DesignTexts::defaultRequest());
            TextReplyData->setText(DesignTexts::defaultReply());
        }
        m_designTextsCleared = false;
    }
}

void ServerEditor::TextUrl_Change() {
    if (chosenCheckKind() != ServerRecord::CheckKind::Http)
        return;
    ServerRecord server;
    server.checkKind = ServerRecord::CheckKind::Http;
    server.url = m_http->TextUrl->text();
    ServerChecks::TakeUrlAddress(server); // a URL that is none leaves both empty
    TextIPAddress->setText(server.ipAddress);
    TextPort->setText(server.port);
}
