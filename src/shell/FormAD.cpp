#include "shell/FormAD.h"

#include "app/AppVersion.h"
#include "config/Twips.h"
#include "shell/AnnouncementPage.h"

#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QScreen>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTimer>

namespace {

// Shows the fetched page only: nothing it names is read from files or the
// network on its behalf. An empty answer would make the document read local
// files itself, so images get a blank and anything else an empty text.
class OfflineTextBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl&) override {
        if (type != QTextDocument::ImageResource)
            return QVariant(QString());
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return QVariant(blank);
    }
};

QString decodePage(const QByteArray& body, const QString& contentType) {
    const qsizetype at = contentType.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        QString charset = contentType.mid(at + 8).section(QLatin1Char(';'), 0, 0).trimmed();
        charset.remove(QLatin1Char('"'));
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
    return decoder.decode(body);
}

} // namespace

FormAD::FormAD(const QUrl& page, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
    , WebAD(new OfflineTextBrowser(this))
    , Timer1(new QTimer(this))
    , Timer2(new QTimer(this))
    , m_fetchDeadline(new QTimer(this))
    , m_network(new QNetworkAccessManager(this))
    , m_page(page) {
    setObjectName(QStringLiteral("FormAD"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(WidthPixels, HeightPixels);
    setWindowTitle(tr("当前版本"));

    WebAD->setObjectName(QStringLiteral("WebAD"));
    WebAD->setOpenLinks(false);
    connect(WebAD, &QTextBrowser::anchorClicked, this, &FormAD::WebAD_AnchorClicked);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &FormAD::Timer1_Timer);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &FormAD::Timer2_Timer);

    m_fetchDeadline->setSingleShot(true);
    m_fetchDeadline->setInterval(FetchTimeoutMs);
    connect(m_fetchDeadline, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort();
    });

    Form_Load();
    Timer2->start();
}

FormAD::~FormAD() {
    // A fetch still running must not report to a half-destroyed window.
    if (m_reply)
        m_reply->disconnect(this);
}

FormAD* FormAD::showAnnouncement(const QUrl& page) {
    static QPointer<FormAD> current;
    if (!current) {
        current = new FormAD(page);
        current->setAttribute(Qt::WA_DeleteOnClose);
    }
    current->show();
    current->raise();
    return current;
}

void FormAD::setFetchTimeout(int ms) {
    m_fetchDeadline->setInterval(ms);
    if (m_fetchDeadline->isActive())
        m_fetchDeadline->start();
}

QString FormAD::loadErrorText() {
    return tr("无法打开公告页面，请稍后再试。");
}

void FormAD::Form_Load() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        placeOn(screen->geometry());
    setWindowTitle(versionCaption());
    // The browser is larger than the window, so its frame and scroll bars
    // lie outside the visible area.
    WebAD->setGeometry(0, 0, width() + Twips::toPixelsX(1000), height() + Twips::toPixelsY(800));
    // Lines still wrap inside the visible part.
    WebAD->setLineWrapMode(QTextEdit::FixedPixelWidth);
    WebAD->setLineWrapColumnOrWidth(width() - 2 * WebAD->frameWidth());
    fetchPage();
    raise();
    CloseCountdown = CountdownSeconds;
}

void FormAD::placeOn(const QRect& screenArea) {
    m_screenArea = screenArea;
    const qint32 screenWidth = Twips::fromPixelsX(screenArea.width());
    const qint32 screenHeight = Twips::fromPixelsY(screenArea.height());
    const qint32 windowWidth = Twips::fromPixelsX(width());
    const qint32 windowHeight = Twips::fromPixelsY(height());
    SlideTargetTop = screenHeight - windowHeight - BottomMarginTwips;
    m_topTwips = screenHeight - BottomMarginTwips;
    m_leftTwips = screenWidth - windowWidth;
    applyPosition();
}

void FormAD::Timer1_Timer() {
    if (CloseCountdown != 0) {
        --CloseCountdown;
        setWindowTitle(versionCaption() + tr("[%1秒后关闭]").arg(CloseCountdown));
    } else {
        Timer1->stop();
        close();
    }
}

void FormAD::Timer2_Timer() {
    m_topTwips -= SlideStepTwips;
    applyPosition();
    if (m_topTwips < SlideTargetTop) {
        Timer2->stop();
        Timer1->start();
    }
}

void FormAD::fetchPage() {
    QNetworkRequest request(m_page);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (m_reply && (received > MaxPageBytes || total > MaxPageBytes))
            m_reply->abort();
    });
    connect(m_reply, &QNetworkReply::finished, this, &FormAD::WebAD_Finished);
    m_fetchDeadline->start();
}

void FormAD::WebAD_Finished() {
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    if (!reply)
        return;
    m_fetchDeadline->stop();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        WebAD->setPlainText(loadErrorText());
        return;
    }
    const QByteArray body = reply->read(MaxPageBytes + 1);
    if (body.size() > MaxPageBytes) {
        WebAD->setPlainText(loadErrorText());
        return;
    }
    const QString page =
        decodePage(body, reply->header(QNetworkRequest::ContentTypeHeader).toString());
    WebAD->setHtml(AnnouncementPage::reduce(page));
}

void FormAD::WebAD_AnchorClicked(const QUrl& link) {
    ModuleHTTP::OpenUrl(m_page.resolved(link).toString());
}

void FormAD::applyPosition() {
    move(m_screenArea.x() + Twips::toPixelsX(m_leftTwips),
         m_screenArea.y() + Twips::toPixelsY(m_topTwips));
}

QString FormAD::versionCaption() const {
    return tr("当前版本:") + AppVersion::text();
}
