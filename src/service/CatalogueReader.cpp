#include "service/CatalogueReader.h"

#include "catalogue/CatalogueColumns.h"
#include "catalogue/ServerChecks.h"
#include "service/CsvText.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <cmath>
#include <optional>

namespace {

using CatalogueColumns::Column;
using CatalogueColumns::Columns;
using CatalogueReader::Result;

// The values of one row by column key; a key left out is not in the hash.
using Values = QHash<QString, QString>;

// The server of a row, or why it is refused: a missing name or address
// first, as the add dialog asks, then the first column that refuses its value.
void takeRow(Result& result, int line, const Values& values) {
    ServerRecord server;
    QString refusal;
    for (const Column& column : Columns()) {
        const auto value = values.constFind(column.key);
        if (value == values.constEnd() && !column.required)
            continue;
        const QString reason = column.take(server, value == values.constEnd() ? QString() : *value);
        if (refusal.isEmpty())
            refusal = reason;
    }
    if (const auto missing = ServerChecks::MissingField(server))
        refusal = missing->text;
    if (refusal.isEmpty())
        result.accepted.append({line, server});
    else
        result.refused.append({line, refusal});
}

std::optional<QString> utf8Text(const QByteArray& data, Result& result) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        result.error = QCoreApplication::translate("CatalogueReader", "文件不是 UTF-8 编码的文本");
        return std::nullopt;
    }
    if (text.startsWith(QChar::ByteOrderMark))
        text.remove(0, 1);
    return text;
}

const Column* columnNamed(const QString& key) {
    for (const Column& column : Columns()) {
        if (column.key.compare(key, Qt::CaseInsensitive) == 0)
            return &column;
    }
    return nullptr;
}

void readCsv(const QString& text, Result& result) {
    const CsvText::Parsed parsed = CsvText::Read(text);
    if (!parsed.error.isEmpty()) {
        result.error = parsed.error;
        return;
    }
    if (parsed.records.isEmpty()) {
        result.error = QCoreApplication::translate("CatalogueReader", "文件是空的,没有标题行");
        return;
    }
    // The key of each field position; empty for a column this program does not know.
    QStringList keys;
    for (const QString& name : parsed.records.first().fields) {
        const Column* column = columnNamed(name.trimmed());
        const QString key = column ? column->key : QString();
        if (!key.isEmpty() && keys.contains(key)) {
            result.error =
                QCoreApplication::translate("CatalogueReader", "标题行中 %1 列出现了两次").arg(key);
            return;
        }
        keys.append(key);
    }
    for (const Column& column : Columns()) {
        if (column.required && !keys.contains(column.key)) {
            result.error =
                QCoreApplication::translate("CatalogueReader", "标题行缺少 %1 列").arg(column.key);
            return;
        }
    }
    for (qsizetype r = 1; r < parsed.records.size(); ++r) {
        const CsvText::Record& record = parsed.records.at(r);
        if (record.fields.size() != keys.size()) {
            result.refused.append({record.line, QCoreApplication::translate(
                                                    "CatalogueReader", "有 %1 列,标题行有 %2 列")
                                                    .arg(record.fields.size())
                                                    .arg(keys.size())});
            continue;
        }
        Values values;
        for (qsizetype f = 0; f < keys.size(); ++f) {
            if (!keys.at(f).isEmpty())
                values.insert(keys.at(f), record.fields.at(f));
        }
        takeRow(result, record.line, values);
    }
}

// The line each element of the top-level array starts on. The text is
// known to be valid JSON here.
QList<int> elementLines(const QByteArray& data) {
    QList<int> lines;
    int line = 1;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    bool expectElement = false;
    const auto startValue = [&] {
        if (depth == 1 && expectElement) {
            lines.append(line);
            expectElement = false;
        }
    };
    for (const char c : data) {
        if (c == '\n')
            ++line;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            startValue();
            inString = true;
            break;
        case '[':
        case '{':
            startValue();
            expectElement = ++depth == 1;
            break;
        case ']':
        case '}':
            --depth;
            break;
        case ',':
            expectElement = depth == 1;
            break;
        case ' ':
        case '\t':
        case '\r':
        case '\n':
            break;
        default:
            startValue();
        }
    }
    return lines;
}

// A scalar as the text a CSV field would hold; nothing for an array or object.
std::optional<QString> valueText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return QString::number(value.toBool() ? 1 : 0);
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (std::abs(number) < 1e15 && std::trunc(number) == number)
            return QString::number(static_cast<qint64>(number));
        return QString::number(number, 'g', 17);
    }
    default:
        return std::nullopt;
    }
}

void readJson(const QByteArray& data, Result& result) {
    QByteArray utf8 = data;
    if (utf8.startsWith("\xEF\xBB\xBF"))
        utf8.remove(0, 3);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError) {
        const int line = static_cast<int>(utf8.left(error.offset).count('\n')) + 1;
        result.error = QCoreApplication::translate("CatalogueReader", "第 %1 行:JSON 格式错误(%2)")
                           .arg(line)
                           .arg(error.errorString());
        return;
    }
    if (!document.isArray()) {
        result.error = QCoreApplication::translate("CatalogueReader", "文件不是服务器的 JSON 数组");
        return;
    }
    const QJsonArray servers = document.array();
    const QList<int> lines = elementLines(utf8);
    for (qsizetype i = 0; i < servers.size(); ++i) {
        const int line = lines.value(i);
        if (!servers.at(i).isObject()) {
            result.refused.append(
                {line, QCoreApplication::translate("CatalogueReader", "不是一个服务器对象")});
            continue;
        }
        const QJsonObject object = servers.at(i).toObject();
        Values values;
        QString refusal;
        for (auto field = object.begin(); field != object.end(); ++field) {
            const Column* column = columnNamed(field.key());
            if (!column || field.value().isNull())
                continue;
            if (const std::optional<QString> text = valueText(field.value()))
                values.insert(column->key, *text);
            else if (refusal.isEmpty())
                refusal = QCoreApplication::translate("CatalogueReader", "%1 的值不是文字或数字")
                              .arg(column->key);
        }
        if (refusal.isEmpty())
            takeRow(result, line, values);
        else
            result.refused.append({line, refusal});
    }
}

} // namespace

namespace CatalogueReader {

Result Read(const QByteArray& data, CatalogueFormat format) {
    Result result;
    const std::optional<QString> text = utf8Text(data, result);
    if (!text)
        return result;
    if (format == CatalogueFormat::Json)
        readJson(data, result);
    else
        readCsv(*text, result);
    return result;
}

} // namespace CatalogueReader
