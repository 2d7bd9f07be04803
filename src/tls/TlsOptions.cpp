#include "tls/TlsOptions.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<Transport, const char*>, 6> kTexts{{
    {Transport::Plain, ""},
    {Transport::Tls, "tls"},
    {Transport::StartTlsSmtp, "starttls-smtp"},
    {Transport::StartTlsImap, "starttls-imap"},
    {Transport::StartTlsPop3, "starttls-pop3"},
    {Transport::StartTlsFtp, "starttls-ftp"},
}};

} // namespace

QString transportText(Transport transport) {
    for (const auto& [kind, text] : kTexts) {
        if (kind == transport)
            return QString::fromLatin1(text);
    }
    return {};
}

std::optional<Transport> transportFromText(const QString& text) {
    for (const auto& [kind, name] : kTexts) {
        if (text == QLatin1String(name))
            return kind;
    }
    return std::nullopt;
}
