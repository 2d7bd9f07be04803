#include "catalogue/ui/HttpCheckFields.h"

#include "catalogue/ui/MultiLineText.h"
#include "http/HttpMethod.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

HttpCheckFields::HttpCheckFields(QWidget& dialog)
    : TextUrl(named(new QLineEdit(&dialog), "TextUrl"))
    , ComboHttpMethod(named(new QComboBox(&dialog), "ComboHttpMethod"))
    , CheckHttpRedirects(named(new QCheckBox(tr("跟随重定向"), &dialog), "CheckHttpRedirects"))
    , TextHttpHeaders(named(new MultiLineText(&dialog), "TextHttpHeaders"))
    , TextHttpStatus(named(new QLineEdit(&dialog), "TextHttpStatus"))
    , TextJsonCondition(named(new QLineEdit(&dialog), "TextJsonCondition")) {
    ComboHttpMethod->addItems(HttpMethod::All());
    TextUrl->setPlaceholderText(QStringLiteral("https://www.example.com/health"));
    TextUrl->setToolTip(tr("http:// 或 https:// 开头,可带端口、路径和查询;地址和端口由此得出"));
    CheckHttpRedirects->setToolTip(tr("最多跟随10次重定向"));
    TextHttpHeaders->setToolTip(tr("每行一个,写成“名称: 值”;凭据也写在这里"));
    TextHttpHeaders->setMaximumHeight(72);
    TextHttpStatus->setToolTip(tr("状态码和范围,以逗号分隔,如 200-299,301,404"));
    TextJsonCondition->setPlaceholderText(QStringLiteral("$.status == \"up\""));
    TextJsonCondition->setToolTip(
        tr("为空时不检查;比较符可用 ==、!=、<、<=、>、>=、contains、exists;"
           "字符串加双引号,数字和 true、false、null 不加"));
    setFields(ServerRecord{});
}

HttpCheckFields::~HttpCheckFields() = default;

void HttpCheckFields::addRows(QGridLayout& grid, int firstRow) {
    auto* methodRow = new QHBoxLayout;
    methodRow->addWidget(ComboHttpMethod);
    methodRow->addWidget(CheckHttpRedirects);
    methodRow->addStretch();
    methodRow->setContentsMargins(0, 0, 0, 0);
    auto* methodField = new QWidget;
    methodField->setLayout(methodRow);

    const std::pair<QString, QWidget*> rows[] = {
        {tr("URL:"), TextUrl},
        {tr("请求方法:"), methodField},
        {tr("请求头:"), TextHttpHeaders},
        {tr("接受的状态码:"), TextHttpStatus},
        {tr("JSON条件:"), TextJsonCondition},
    };
    int row = firstRow;
    for (const auto& [caption, field] : rows) {
        auto* label = new QLabel(caption);
        label->setBuddy(field == methodField ? static_cast<QWidget*>(ComboHttpMethod) : field);
        grid.addWidget(label, row, 0, Qt::AlignTop);
        grid.addWidget(field, row, 1);
        m_rows << label << field;
        ++row;
    }
}

void HttpCheckFields::setShown(bool shown) {
    for (QWidget* widget : m_rows)
        widget->setVisible(shown);
}

void HttpCheckFields::setFields(const ServerRecord& server) {
    TextUrl->setText(server.url);
    ComboHttpMethod->setCurrentIndex(
        HttpMethod::All().indexOf(HttpMethod::parse(server.httpMethod).value_or(QString())));
    CheckHttpRedirects->setChecked(server.httpRedirects);
    TextHttpHeaders->setText(server.httpHeaders);
    TextHttpStatus->setText(server.httpStatus);
    TextJsonCondition->setText(server.jsonCondition);
}

void HttpCheckFields::takeFields(ServerRecord& server) const {
    server.url = TextUrl->text();
    server.httpMethod = ComboHttpMethod->currentText();
    server.httpRedirects = CheckHttpRedirects->isChecked();
    server.httpHeaders = TextHttpHeaders->text();
    server.httpStatus = TextHttpStatus->text();
    server.jsonCondition = TextJsonCondition->text();
}

QWidget* HttpCheckFields::fieldOf(ServerChecks::Field field) const {
    switch (field) {
    case ServerChecks::Field::HttpMethod:
        return ComboHttpMethod;
    case ServerChecks::Field::HttpHeaders:
        return TextHttpHeaders;
    case ServerChecks::Field::HttpStatus:
        return TextHttpStatus;
    case ServerChecks::Field::JsonCondition:
        return TextJsonCondition;
    default:
        return TextUrl;
    }
}
