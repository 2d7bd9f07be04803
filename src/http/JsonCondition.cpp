#include "http/JsonCondition.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

using Operator = JsonCondition::Operator;

std::optional<JsonCondition> refuse(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
    return std::nullopt;
}

// One JSON scalar, or nothing for any other text.
std::optional<QJsonValue> scalarOf(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson('[' + text.toUtf8() + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1)
        return std::nullopt;
    const QJsonValue value = document.array().first();
    if (value.isArray() || value.isObject())
        return std::nullopt;
    return value;
}

// Where a name step's name ends: at a blank, the next step or an operator.
qsizetype nameEnd(const QString& text, qsizetype from) {
    while (from < text.size() && !text.at(from).isSpace() &&
           !QStringView(u".[]=!<>\"").contains(text.at(from)))
        ++from;
    return from;
}

// Where a quoted JSON string starting at from ends, after its closing quote;
// -1 when it is not closed.
qsizetype quotedEnd(const QString& text, qsizetype from) {
    for (qsizetype at = from + 1; at < text.size(); ++at) {
        if (text.at(at) == u'\\')
            ++at;
        else if (text.at(at) == u'"')
            return at + 1;
    }
    return -1;
}

struct OperatorText {
    QLatin1String text;
    Operator op;
    bool word; // stands apart from the value by a blank
};

// Longer symbols first, so "<=" is not read as "<".
constexpr OperatorText Operators[] = {
    {QLatin1String("=="), Operator::Equal, false},
    {QLatin1String("!="), Operator::NotEqual, false},
    {QLatin1String("<="), Operator::LessOrEqual, false},
    {QLatin1String(">="), Operator::GreaterOrEqual, false},
    {QLatin1String("<"), Operator::Less, false},
    {QLatin1String(">"), Operator::Greater, false},
    {QLatin1String("contains"), Operator::Contains, true},
    {QLatin1String("exists"), Operator::Exists, true},
};

bool sameValue(const QJsonValue& a, const QJsonValue& b) {
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case QJsonValue::Double:
        return a.toDouble() == b.toDouble();
    case QJsonValue::String:
        return a.toString() == b.toString();
    case QJsonValue::Bool:
        return a.toBool() == b.toBool();
    case QJsonValue::Null:
        return true;
    default:
        return false;
    }
}

QString typeName(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Double:
        return QCoreApplication::translate("JsonCondition", "数字");
    case QJsonValue::String:
        return QCoreApplication::translate("JsonCondition", "字符串");
    case QJsonValue::Bool:
        return QCoreApplication::translate("JsonCondition", "布尔值");
    case QJsonValue::Array:
        return QCoreApplication::translate("JsonCondition", "数组");
    case QJsonValue::Object:
        return QCoreApplication::translate("JsonCondition", "对象");
    default:
        return QStringLiteral("null");
    }
}

} // namespace

std::optional<JsonCondition> JsonCondition::parse(const QString& text, QString* reason) {
    JsonCondition condition;
    condition.m_text = text.trimmed();
    const QString& t = condition.m_text;
    if (!t.startsWith(u'$'))
        return refuse(reason, QCoreApplication::translate(
                                  "JsonCondition", "JSON条件必须以 $ 开头,如 $.a.b[0].c == 1！"));
    const auto badStep = [&](qsizetype at) {
        return refuse(reason,
                      QCoreApplication::translate(
                          "JsonCondition",
                          "JSON条件的路径第 %1 个字符处有误,应写成 .名称、[\"名称\"] 或 [序号]！")
                          .arg(at + 1));
    };
    qsizetype at = 1;
    while (at < t.size() && (t.at(at) == u'.' || t.at(at) == u'[')) {
        Step step;
        if (t.at(at) == u'.') {
            const qsizetype end = nameEnd(t, at + 1);
            if (end == at + 1)
                return badStep(at);
            step.key = t.mid(at + 1, end - at - 1);
            at = end;
        } else if (at + 1 < t.size() && t.at(at + 1) == u'"') {
            const qsizetype end = quotedEnd(t, at + 1);
            const std::optional<QJsonValue> key =
                end < 0 ? std::nullopt : scalarOf(t.mid(at + 1, end - at - 1));
            if (!key || !key->isString() || end >= t.size() || t.at(end) != u']')
                return badStep(at);
            step.key = key->toString();
            at = end + 1;
        } else {
            qsizetype end = at + 1;
            while (end < t.size() && t.at(end) >= u'0' && t.at(end) <= u'9')
                ++end;
            bool ok = false;
            step.index = t.mid(at + 1, end - at - 1).toLongLong(&ok);
            if (!ok || end >= t.size() || t.at(end) != u']')
                return badStep(at);
            at = end + 1;
        }
        step.writtenEnd = at;
        condition.m_path.append(step);
    }
    condition.m_pathEnd = at;

    while (at < t.size() && t.at(at).isSpace())
        ++at;
    const QStringView rest = QStringView(t).mid(at);
    const auto found =
        std::find_if(std::begin(Operators), std::end(Operators), [&](const OperatorText& op) {
            return rest.startsWith(op.text) &&
                   (!op.word || rest.size() == op.text.size() || rest.at(op.text.size()).isSpace());
        });
    if (found == std::end(Operators))
        return refuse(reason, QCoreApplication::translate(
                                  "JsonCondition", "JSON条件缺少比较符,可用 ==、!=、<、<=、>、>=、"
                                                   "contains 或 exists！"));
    condition.m_operator = found->op;
    const QString valueText = rest.mid(found->text.size()).trimmed().toString();
    if (condition.m_operator == Operator::Exists) {
        if (!valueText.isEmpty())
            return refuse(reason, QCoreApplication::translate("JsonCondition",
                                                              "JSON条件的 exists 后面不能有值！"));
        return condition;
    }
    if (valueText.isEmpty())
        return refuse(reason,
                      QCoreApplication::translate("JsonCondition", "JSON条件缺少比较的值！"));
    const std::optional<QJsonValue> value = scalarOf(valueText);
    if (!value)
        return refuse(reason, QCoreApplication::translate(
                                  "JsonCondition", "JSON条件的值“%1”无效:字符串要加双引号,数字和 "
                                                   "true、false、null 不加！")
                                  .arg(valueText));
    condition.m_value = *value;
    return condition;
}

JsonCondition::Verdict JsonCondition::evaluate(const QByteArray& body) const {
    // The reply is read inside an array, so a bare scalar is JSON too.
    QByteArray wrapped = body.startsWith("\xEF\xBB\xBF") ? body.mid(3) : body;
    wrapped.prepend('[').append(']');
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(wrapped, &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1)
        return {false, QCoreApplication::translate("JsonCondition", "回应不是JSON")};
    QJsonValue value = document.array().first();
    for (const Step& step : m_path) {
        const bool there = step.index >= 0
                               ? value.isArray() && step.index < value.toArray().size()
                               : value.isObject() && value.toObject().contains(step.key);
        if (!there)
            return {false, QCoreApplication::translate("JsonCondition", "路径不存在:%1")
                               .arg(m_text.left(step.writtenEnd))};
        value = step.index >= 0 ? value.toArray().at(step.index) : value.toObject().value(step.key);
    }
    return compare(value);
}

JsonCondition::Verdict JsonCondition::compare(const QJsonValue& found) const {
    const auto verdict = [this](bool holds) { return Verdict{holds, m_text}; };
    switch (m_operator) {
    case Operator::Exists:
        return verdict(true);
    case Operator::Equal:
    case Operator::NotEqual:
        if (found.type() == m_value.type() || found.isNull() || m_value.isNull())
            return verdict(sameValue(found, m_value) == (m_operator == Operator::Equal));
        break;
    case Operator::Contains:
        if (found.isString() && m_value.isString())
            return verdict(found.toString().contains(m_value.toString()));
        if (found.isArray()) {
            const QJsonArray elements = found.toArray();
            return verdict(
                std::any_of(elements.begin(), elements.end(),
                            [this](const QJsonValue& e) { return sameValue(e, m_value); }));
        }
        break;
    case Operator::Less:
    case Operator::LessOrEqual:
    case Operator::Greater:
    case Operator::GreaterOrEqual: {
        int order = 0;
        if (found.isDouble() && m_value.isDouble())
            order =
                found.toDouble() < m_value.toDouble() ? -1 : found.toDouble() > m_value.toDouble();
        else if (found.isString() && m_value.isString())
            order = found.toString().compare(m_value.toString());
        else
            break;
        switch (m_operator) {
        case Operator::Less:
            return verdict(order < 0);
        case Operator::LessOrEqual:
            return verdict(order <= 0);
        case Operator::Greater:
            return verdict(order > 0);
        default:
            return verdict(order >= 0);
        }
    }
    }
    return {false, QCoreApplication::translate("JsonCondition", "类型不符:%1 是%2")
                       .arg(m_text.left(m_pathEnd), typeName(found))};
}
