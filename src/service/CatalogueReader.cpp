#include "service/CatalogueReader.h"

#include "catalogue/CatalogueColumns.h"
#include "catalogue/CheckKindText.h"
#include "catalogue/ServerChecks.h"
#include "catalogue/TrimSpaces.h"
#include "service/CsvReader.h"
#include "service/JsonElementReader.h"
#include "service/Utf8Chunks.h"

#include <QCoreApplication>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonObject>
#include <cmath>

namespace {

using CatalogueColumns::Column;
using CatalogueColumns::Columns;
using CatalogueColumns::Kind;
using CatalogueReader::Result;
using CatalogueReader::Row;
using Take = std::function<QString(const Row&)>;

// The values of one row by column key; a key left out is not in the hash.
using Values = QHash<QString, QString>;

// The server of a row, or why it is refused: a missing name or address
// first, as the add dialog asks, then what is wrong with an HTTP(S) row's
// own fields, then the first column that refuses its value. An HTTP(S)
// row's address and port come from its URL, whatever their columns hold.
// An accepted row goes to take; false when take failed.
bool takeRow(Result& result, int line, const Values& values, const Take& take) {
    ServerRecord server;
    QString refusal;
    const bool http = checkKindFromText(values.value(QStringLiteral("CheckKind")).trimmed()) ==
                      ServerRecord::CheckKind::Http;
    for (const Column& column : Columns()) {
        const auto value = values.constFind(column.key);
        if ((value == values.constEnd() && !column.required) ||
            (http && column.key == QLatin1String("Port")))
            continue;
        const QString reason = column.take(server, value == values.constEnd() ? QString() : *value);
        if (refusal.isEmpty())
            refusal = reason;
    }
    ServerChecks::TakeUrlAddress(server);
    if (const auto wrong = ServerChecks::HttpRefusal(server))
        refusal = wrong->text;
    // The name as the list shows it, without its spaces: one of spaces
    // alone would show as no name at all.
    ServerRecord shown = server;
    shown.displayName = TrimSpaces(server.displayName);
    if (const auto missing = ServerChecks::MissingField(shown))
        refusal = missing->text;
    if (!refusal.isEmpty()) {
        result.refused.append({line, refusal});
        return true;
    }
    result.error = take({line, server});
    if (!result.error.isEmpty())
        return false;
    ++result.accepted;
    return true;
}

const Column* columnNamed(const QString& key) {
    for (const Column& column : Columns()) {
        if (column.key.compare(key, Qt::CaseInsensitive) == 0)
            return &column;
    }
    return nullptr;
}

// Why the text ended early, when it did; the format's own reason otherwise.
void textFailed(const Utf8Chunks& text, const QIODevice& in, Result& result) {
    switch (text.failure()) {
    case Utf8Chunks::Failure::None:
        break;
    case Utf8Chunks::Failure::NotUtf8:
        result.error = QCoreApplication::translate("CatalogueReader", "文件不是 UTF-8 编码的文本");
        break;
    case Utf8Chunks::Failure::ReadFailed:
        result.error = QCoreApplication::translate("CatalogueReader", "读取文件时出错(%1)")
                           .arg(in.errorString());
        break;
    }
}

void readCsv(QIODevice& in, Result& result, const Take& take) {
    Utf8Chunks text(in);
    CsvReader csv(text);
    CsvReader::Record record;
    const auto readFailed = [&] {
        textFailed(text, in, result);
        if (result.error.isEmpty())
            result.error = csv.error();
        return !result.error.isEmpty();
    };
    if (!csv.next(record)) {
        if (!readFailed())
            result.error = QCoreApplication::translate("CatalogueReader", "文件是空的,没有标题行");
        return;
    }
    // The key of each field position; empty for a column this program does not know.
    QStringList keys;
    for (const QString& name : record.fields) {
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
    while (csv.next(record)) {
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
        if (!takeRow(result, record.line, values, take))
            return;
    }
    readFailed();
}

// Whether a \u escape of the JSON text names half of a surrogate pair
// without the other half next to it. Such text is no Unicode, and the
// parser would take the next character for the missing half.
bool hasLoneSurrogate(const QString& json) {
    bool lowExpected = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        if (json.at(i) != QLatin1Char('\\') || i + 1 >= json.size() ||
            json.at(i + 1) != QLatin1Char('u')) {
            if (lowExpected)
                return true;
            if (json.at(i) == QLatin1Char('\\'))
                ++i; // the escaped character
            continue;
        }
        const uint code = QStringView(json).mid(i + 2, 4).toUInt(nullptr, 16);
        i += 5;
        const bool low = code >= 0xDC00 && code <= 0xDFFF;
        if (low != lowExpected)
            return true;
        lowExpected = code >= 0xD800 && code <= 0xDBFF;
    }
    return lowExpected;
}

// A scalar as the text a CSV field would hold.
QString valueText(const QJsonValue& value) {
    if (value.isBool())
        return QString::number(value.toBool() ? 1 : 0);
    if (value.isString())
        return value.toString();
    const double number = value.toDouble();
    if (std::abs(number) < 1e15 && std::trunc(number) == number)
        return QString::number(static_cast<qint64>(number));
    return QString::number(number, 'g', 17);
}

// Why the column does not take a value of this type; empty when it does.
// Text takes text and numbers, a number and the flag take whole numbers
// (or text, checked as in CSV), the flag a boolean besides.
QString typeRefusal(const Column& column, const QJsonValue& value) {
    const auto neither = [&] {
        return QCoreApplication::translate("CatalogueReader", "%1 的值不是文字或数字")
            .arg(column.key);
    };
    switch (value.type()) {
    case QJsonValue::String:
        return {};
    case QJsonValue::Double:
        if (column.kind == Kind::Text || std::trunc(value.toDouble()) == value.toDouble())
            return {};
        break;
    case QJsonValue::Bool:
        if (column.kind == Kind::Flag)
            return {};
        if (column.kind == Kind::Text)
            return neither();
        break;
    default:
        return neither();
    }
    return QCoreApplication::translate("CatalogueReader", "%1 的值不是整数").arg(column.key);
}

void readJson(QIODevice& in, Result& result, const Take& take) {
    Utf8Chunks text(in);
    JsonElementReader elements(text);
    JsonElementReader::Element element;
    while (elements.next(element)) {
        if (!element.value.isObject()) {
            result.refused.append({element.line, QCoreApplication::translate(
                                                     "CatalogueReader", "不是一个服务器对象")});
            continue;
        }
        if (hasLoneSurrogate(element.text)) {
            result.refused.append(
                {element.line,
                 QCoreApplication::translate("CatalogueReader", "含有不成对的 \\u 代理项转义")});
            continue;
        }
        const QJsonObject object = element.value.toObject();
        if (object.size() == 1 && object.value(QStringLiteral("maintenance")).isArray()) {
            for (const QJsonValue& window : object.value(QStringLiteral("maintenance")).toArray())
                if (window.isObject())
                    result.maintenance.append(window.toObject());
            continue;
        }
        Values values;
        QString refusal;
        for (auto field = object.begin(); field != object.end(); ++field) {
            const Column* column = columnNamed(field.key());
            if (!column || field.value().isNull())
                continue;
            const QString wrongType = typeRefusal(*column, field.value());
            if (wrongType.isEmpty())
                values.insert(column->key, valueText(field.value()));
            else if (refusal.isEmpty())
                refusal = wrongType;
        }
        if (!refusal.isEmpty())
            result.refused.append({element.line, refusal});
        else if (!takeRow(result, element.line, values, take))
            return;
    }
    textFailed(text, in, result);
    if (!result.error.isEmpty())
        return;
    switch (elements.failure()) {
    case JsonElementReader::Failure::None:
        break;
    case JsonElementReader::Failure::NotArray:
        result.error = QCoreApplication::translate("CatalogueReader", "文件不是服务器的 JSON 数组");
        break;
    case JsonElementReader::Failure::Syntax: {
        QJsonParseError error{};
        error.error = elements.errorKind();
        result.error = QCoreApplication::translate("CatalogueReader", "第 %1 行:JSON 格式错误(%2)")
                           .arg(elements.errorLine())
                           .arg(error.errorString());
        break;
    }
    }
}

} // namespace

namespace CatalogueReader {

Result Read(QIODevice& in, CatalogueFormat format, const Take& take) {
    Result result;
    if (format == CatalogueFormat::Json)
        readJson(in, result, take);
    else
        readCsv(in, result, take);
    if (!result.error.isEmpty()) {
        result.accepted = 0;
        result.refused.clear();
        result.maintenance.clear();
    }
    return result;
}

} // namespace CatalogueReader
