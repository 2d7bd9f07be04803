#include "HostileText.h"
#include "platform/AppPaths.h"
#include "platform/gui/MessageBoxes.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

int distance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// The pixel of rect that stands out most from colour: the ink drawn on it.
QColor inkIn(const QImage& image, const QRect& rect, QColor colour) {
    QColor ink = colour;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (distance(pixel, colour) > distance(ink, colour))
                ink = pixel;
        }
    }
    return ink;
}

// The inside of a check box's indicator, in window coordinates, less its border.
QRect indicatorInside(const QCheckBox* box, const QWidget* window) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    return indicator.translated(box->mapTo(window, QPoint())).adjusted(3, 3, -3, -3);
}

} // namespace

class TestPlatform final : public QObject {
    Q_OBJECT
private slots:
    void appPathEndsWithOneSeparator() {
        QTemporaryDir dir;
        setAppPathForTesting(dir.path());
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting(dir.path() + QLatin1Char('/'));
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting({});
        QCOMPARE(GetAppPath(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    }

    void shippedSkinsDrawTicksAndDisabledItems_data() {
        QTest::addColumn<QString>("skin");
        const QDir skins(qEnvironmentVariable("SERVERMON_SOURCE_DIR") + "/resources/Skin");
        const QStringList files = skins.entryList(QDir::Files);
        QVERIFY(files.size() >= 4);
        for (const QString& name : files)
            QTest::newRow(qPrintable(name)) << skins.filePath(name);
    }
    // A ticked box shows a tick, not a filled square, enabled or not; the
    // disabled credit in the menu bar is drawn unlike an enabled item and
    // takes no highlight when pressed.
    void shippedSkinsDrawTicksAndDisabledItems() {
        QFETCH(QString, skin);
        StyleSheetSkinEngine engine;
        QVERIFY(engine.attachFile(skin));
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* bar = new QMenuBar(&window);
        layout->setMenuBar(bar);
        QAction* help = bar->addAction(QStringLiteral("帮助(&H)"));
        QAction* credit = bar->addAction(QStringLiteral("作者:Quillfern"));
        credit->setEnabled(false);
        QList<QCheckBox*> ticked;
        for (const bool enabled : {true, false}) {
            auto* box = new QCheckBox(QStringLiteral("新消息播放提示音"), &window);
            box->setChecked(true);
            box->setEnabled(enabled);
            layout->addWidget(box);
            ticked.append(box);
        }
        window.resize(400, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mousePress(bar, Qt::LeftButton, {}, bar->actionGeometry(credit).center());
        const QImage shot = window.grab().toImage();
        QTest::mouseRelease(bar, Qt::LeftButton, {}, bar->actionGeometry(credit).center());

        for (const QCheckBox* box : ticked) {
            const QRect inside = indicatorInside(box, &window);
            const QColor fill = shot.pixelColor(inside.topLeft());
            QVERIFY2(distance(inkIn(shot, inside, fill), fill) > 80,
                     box->isEnabled() ? "enabled box" : "disabled box");
        }
        const QPoint barAt = bar->mapTo(&window, QPoint());
        const QRect helpRect = bar->actionGeometry(help).translated(barAt);
        const QRect creditRect = bar->actionGeometry(credit).translated(barAt);
        const QColor barColour = shot.pixelColor(creditRect.right() + 20, creditRect.center().y());
        QVERIFY2(distance(shot.pixelColor(creditRect.topLeft() + QPoint(1, 1)), barColour) < 10,
                 "the disabled credit is highlighted");
        // The middle band of each caption crosses its strokes and nothing else.
        const auto band = [](const QRect& rect) {
            return QRect(rect.left(), rect.center().y() - 3, rect.width(), 7);
        };
        const QColor helpInk = inkIn(shot, band(helpRect), barColour);
        const QColor creditInk = inkIn(shot, band(creditRect), barColour);
        QVERIFY2(distance(helpInk, creditInk) > 60,
                 qPrintable(helpInk.name() + " beside " + creditInk.name()));
        engine.attachDefault();
    }

    void messageBoxesAnswerFromTheQueue() {
        MessageBoxes::setTestMode(true);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Question, QStringLiteral("t"),
                                    QStringLiteral("x"), QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::Yes);
        MessageBoxes::queueAnswer(QMessageBox::No);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Critical,
                                    QStringLiteral("对不起,添加失败"), QStringLiteral("y"),
                                    QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).title, QStringLiteral("对不起,添加失败"));
        QCOMPARE(shown.at(1).icon, QMessageBox::Critical);
        QVERIFY(MessageBoxes::takeShown().isEmpty());
        MessageBoxes::setTestMode(false);
    }

    // Boxes show names and reports from outside: as written, loading nothing.
    void messageBoxesShowPlainText() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const auto box =
                MessageBoxes::makeBox(nullptr, QMessageBox::Critical,
                                      QStringLiteral("对不起,添加失败"), payload, QMessageBox::Ok);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), payload);
            const double ms = HostileText::cpuMsOf([&box] {
                box->show();
                box->grab();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
        }
        QVERIFY(!fifo.opened());
    }

    // Where Qt draws the tray, its tip is a Qt tool-tip, which renders
    // markup, and its balloon is plain; a StatusNotifierItem tray shows the
    // tip as a plain title and hands the balloon to notifications, whose body
    // may be markup. Each is given a text that shows as written.
    void trayTextsShowAsWritten() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const QString tip = QStringLiteral("IP:") + payload + QStringLiteral("\r\n状态:x");
            const double ms = HostileText::cpuMsOf([&tip] {
                QToolTip::showText(QPoint(10, 10), SystemTrayIcon::tipFor(tip, true));
                QApplication::processEvents();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
            QCOMPARE(HostileText::shown(QToolTip::text()), QString(tip).remove(u'\r'));
            QToolTip::hideText();
            QCOMPARE(SystemTrayIcon::tipFor(tip, false), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, true), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, false), tip.toHtmlEscaped());
        }
        QVERIFY(!fifo.opened());
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
