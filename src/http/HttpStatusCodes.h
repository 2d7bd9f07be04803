#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// The status codes an HTTP(S) check accepts, written as codes and ranges
// separated by commas: "200-299,301,404". Each code lies from 100 to 599,
// a range runs from its lower code to its higher one, blanks around the
// items are allowed.
class HttpStatusCodes {
public:
    // Nothing and a Chinese reason for an empty text, an empty item, or an
    // item that is no code or range of codes ("2xx", "600", "299-200").
    static std::optional<HttpStatusCodes> parse(const QString& text, QString* reason = nullptr);
    bool accepts(int code) const;

private:
    QList<std::pair<int, int>> m_ranges; // first and last code, both accepted
};
