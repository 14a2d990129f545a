// The main window's size and place: the resize rule counts the window's
// frame also when the size was restored before the frame was known, a
// record of size and place is read with care, and the result timers keep
// their five seconds.
//
// This program runs on the offscreen platform with window frames (2 pixels
// each side), unlike the other window tests.

#include "platform/twips.h"
#include "ui/form1.h"
#include "ui/resizerule.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QDataStream>
#include <QSignalSpy>
#include <QTest>

#include <climits>

namespace {
// A record as QWidget::saveGeometry writes it, with every rectangle in it
// replaced by `rect`.
QByteArray withRectangles(const QByteArray &saved, const QRect &rect) {
    QDataStream in(saved);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 magic;
    quint16 major, minor;
    QRect frame, normal;
    qint32 screen, screenWidth;
    quint8 maximized, fullScreen;
    in >> magic >> major >> minor >> frame >> normal >> screen >> maximized >> fullScreen >>
        screenWidth;
    QByteArray out;
    QDataStream o(&out, QIODevice::WriteOnly);
    o.setVersion(QDataStream::Qt_4_0);
    o << magic << major << minor << rect << rect << screen << maximized << fullScreen
      << screenWidth;
    if (major >= 3)
        o << rect;
    return out;
}
} // namespace

class WindowTest : public QObject, public WindowFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The second start restores the size before the window has its frame:
    // the editor still ends up the outer size less 800 and 100 twips.
    void theResizeRuleCountsTheFrameAfterARestore() {
        Form1 &first = makeWindow();
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        first.resize(700, 500);
        QTRY_COMPARE_WITH_TIMEOUT(first.size(), QSize(700, 500), kWaitMs);
        QVERIFY(first.close());
        Form1 &again = makeWindow();
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        const QSize outer = again.frameGeometry().size();
        QVERIFY(outer != again.size()); // this platform has frames
        const double dpi = again.logicalDpiX();
        const QSize rule = *ruleSize(
            QSize(pixelsToTwips(outer.width(), dpi), pixelsToTwips(outer.height(), dpi)), 800, 100);
        QTRY_COMPARE_WITH_TIMEOUT(
            again.Text1->size(),
            QSize(twipsToPixels(rule.width(), dpi), twipsToPixels(rule.height(), dpi)), kWaitMs);
    }

    // Records no screen can show: the window opens at its design size.
    void aRecordThatDoesNotFitIsIgnored_data() {
        QTest::addColumn<QRect>("rect");
        QTest::newRow("2^31 pixels") << QRect(QPoint(0, 0), QPoint(INT_MAX, INT_MAX));
        QTest::newRow("a negative size") << QRect(100, 100, -300, -200);
        QTest::newRow("no size") << QRect(100, 100, 0, 0);
        QTest::newRow("wider than the screen") << QRect(0, 0, 5000, 600);
    }
    void aRecordThatDoesNotFitIsIgnored() {
        QFETCH(QRect, rect);
        Form1 &first = makeWindow();
        const QSize design = first.size();
        const QByteArray saved = first.saveGeometry();
        window.reset();
        QVERIFY(
            writeBytes(tree->places().windowGeometry(), withRectangles(saved, rect).toBase64()));
        Form1 &again = makeWindow();
        QCOMPARE(again.size(), design);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), design);
    }

    // Qt's coarse timers may fire up to 5 % early; the result timers wait
    // the whole five seconds.
    void theResultTimersArePrecise() {
        Form1 &w = makeWindow();
        QCOMPARE(w.Timer1->timerType(), Qt::PreciseTimer);
        QCOMPARE(w.Timer2->timerType(), Qt::PreciseTimer);
    }
};

int main(int argc, char **argv) {
    // The offscreen platform, with frames around windows.
    QTemporaryDir config;
    const QString file = config.filePath("frames.json");
    if (!writeBytes(file, R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": true,
        "screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1200,
        "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file));
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ui_window_test.moc"
