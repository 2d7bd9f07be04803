#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

// A condition on a JSON reply, `$.a.b[0].c == value`: a path of `.name`,
// `["name"]` and `[index]` steps from the document `$`, an operator and,
// but for `exists`, a value.
// - Numbers compare numerically (as doubles), strings by their UTF-16 code
//   units, so "<" and ">" order strings lexically; true, false and null only
//   with == and !=, where null equals null alone.
// - `contains`: a string holding the value as a substring, or an array
//   holding an element equal to the value.
// - A path that leads nowhere, a reply that is no JSON, or a value of the
//   wrong type for the comparison make the condition not hold.
class JsonCondition {
public:
    enum class Operator {
        Equal,
        NotEqual,
        Less,
        LessOrEqual,
        Greater,
        GreaterOrEqual,
        Contains,
        Exists
    };

    // ops: == != < <= > >= contains exists ("exists" takes no value);
    // values: quoted JSON strings, numbers, true/false/null bare.
    static std::optional<JsonCondition> parse(const QString& text, QString* reason = nullptr);
    struct Verdict {
        bool holds = false;
        QString detail; // what follows "JSON条件不成立:" in the Status when it does not hold
    };
    // The detail is the condition as written, unless the path is missing
    // ("路径不存在:$.a.b"), the reply is no JSON ("回应不是JSON") or the
    // types do not fit ("类型不符:$.a 是字符串").
    Verdict evaluate(const QByteArray& body) const;

private:
    struct Step {
        QString key;          // the member's name, for a name step
        qsizetype index = -1; // the element's position, for an index step
        qsizetype writtenEnd; // where the step ends in the text
    };

    Verdict compare(const QJsonValue& found) const;

    QString m_text; // as written, without blanks around it
    QList<Step> m_path;
    qsizetype m_pathEnd = 0;
    Operator m_operator = Operator::Exists;
    QJsonValue m_value;
};
