#pragma once

#include "notify/Channel.h"

#include <QJsonObject>
#include <QStackedWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

// The fields of each kind of notification channel, one page per kind in
// ChannelKinds::all() order. Secrets are typed in password fields and never
// shown back: the page of a stored channel's kind only says that an empty
// field keeps the stored secret.
class ChannelFieldPages final : public QStackedWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelFieldPages)
public:
    explicit ChannelFieldPages(QWidget* parent = nullptr);

    static constexpr int DefaultNtfyPriority = 3;

    void showKind(ChannelKind kind);
    // Fills the page of the channel's kind from its settings; the other
    // pages keep their defaults.
    void fill(const Channel& channel);
    // The settings of that kind's page as the fields stand, single-line
    // texts without blanks around them.
    QJsonObject settings(ChannelKind kind) const;
    // The secret typed on that kind's page; empty when nothing was typed or
    // the kind has none.
    QString typedSecret(ChannelKind kind) const;

    QLineEdit* TextWebhookUrl;
    QComboBox* ComboMethod;
    QPlainTextEdit* TextHeaders;
    QPlainTextEdit* TextTemplate;

    QLineEdit* TextSmtpHost;
    QLineEdit* TextSmtpPort;
    QComboBox* ComboSecurity;
    QLineEdit* TextSmtpUser;
    QLineEdit* TextSmtpPassword;
    QLineEdit* TextMailFrom;
    QPlainTextEdit* TextMailTo;

    QLineEdit* TextDingTalkUrl;
    QLineEdit* TextDingTalkSecret;

    QLineEdit* TextFeishuUrl;
    QLineEdit* TextFeishuSecret;

    QLineEdit* TextWeComUrl;
    QComboBox* ComboWeComFormat;

    QLineEdit* TextTelegramApi;
    QLineEdit* TextTelegramToken;
    QLineEdit* TextTelegramChat;

    QLineEdit* TextNtfyUrl;
    QLineEdit* TextNtfyTopic;
    QLineEdit* TextNtfyToken;
    QSpinBox* SpinNtfyPriority;

    QLineEdit* TextProgram;
    QPlainTextEdit* TextArguments;

private:
    void addWebhookPage();
    void addEmailPage();
    void addDingTalkPage();
    void addFeishuPage();
    void addWeComPage();
    void addTelegramPage();
    void addNtfyPage();
    void addCommandPage();
    // The port field follows the security choice while it holds a usual port.
    void ComboSecurity_Click();
    QLineEdit* secretField(ChannelKind kind) const;
};
