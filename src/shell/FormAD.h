#pragma once

#include "shell/ModuleHTTP.h"

#include <QByteArray>
#include <QRect>
#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;
class QTimer;

// The announcement pop-up: a borderless window that slides up at the bottom
// right of the screen, shows the maker's announcement page, counts twenty
// seconds down in its caption and closes itself. Closing it never ends the
// program.
class FormAD final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormAD)

public:
    explicit FormAD(const QUrl& page = ModuleHTTP::AnnouncementUrl(), QWidget* parent = nullptr);
    ~FormAD() override;

    // Shows the announcement window; one that is already open is only
    // brought forward, its slide and countdown go on undisturbed.
    static FormAD* showAnnouncement(const QUrl& page = ModuleHTTP::AnnouncementUrl());

    // Puts the window just below the bottom right corner of `screenArea`
    // (pixels) and sets where the slide stops.
    void placeOn(const QRect& screenArea);

    // Gives up on the page `ms` from now when it has not arrived by then.
    void setFetchTimeout(int ms);

    int slideTargetTop() const { return SlideTargetTop; }
    int closeCountdown() const { return CloseCountdown; }

    // Shown in place of the page when it cannot be loaded.
    static QString loadErrorText();

    // Slide (Timer2) and countdown (Timer1) ticks.
    void Timer1_Timer();
    void Timer2_Timer();

    static constexpr int WidthPixels = 320;
    static constexpr int HeightPixels = 220;
    static constexpr int SlideStepTwips = 20;
    static constexpr int BottomMarginTwips = 450;
    static constexpr int CountdownSeconds = 20;
    static constexpr int FetchTimeoutMs = 15000;
    static constexpr qint64 MaxPageBytes = 1024 * 1024;

private:
    void Form_Load();
    void fetchPage();
    void WebAD_Finished();
    void WebAD_AnchorClicked(const QUrl& link);
    void applyPosition();
    QString versionCaption() const;

    QTextBrowser* WebAD;
    QTimer* Timer1;
    QTimer* Timer2;
    QTimer* m_fetchDeadline;
    QNetworkAccessManager* m_network;
    QNetworkReply* m_reply = nullptr;
    QUrl m_page;
    QRect m_screenArea;
    int SlideTargetTop = 0;
    int CloseCountdown = 0;
    int m_topTwips = 0;
    int m_leftTwips = 0;
};
