// Every window paints as it opens, on a real X server (Xvfb) under a plain window manager
// (openbox), also when a network event opens it while a dialog is open: within 200 ms of the
// window showing, what the screen holds where the window is matches what the window draws.
// The screen is read from the root window as it is; `xwd -root` is no judge of this: it shows a
// window of its own colormap black when it lies wholly inside another window.
#include "windowtest.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <functional>

namespace
{

// The mean difference, 0..255, of the screen where `window` is from the window's own drawing.
double screenDifference(QWidget *window)
{
    const QImage drawn = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect at(window->mapToGlobal(QPoint(0, 0)), window->size());
    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    if (shown.size() != drawn.size()) return 255;
    double sum = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb a = drawn.pixel(x, y), b = shown.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                   std::abs(qBlue(a) - qBlue(b));
        }
    return sum / (3.0 * drawn.width() * drawn.height());
}

} // namespace

TEST_F(WindowTest, EveryWindowIsDrawnOnScreenWithin200msOfOpening)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb with a window manager";
    std::unique_ptr<RawConnection> first, second, sender;
    struct Opening {
        const char *window;
        std::function<void()> open;
    };
    const Opening openings[] = {
        {"frmMessage", [&] { windows.showInfoMessage("Welcome to this OVELA directory."); }},
        {"frmMsgIn",
         [&] {
             sender = RawConnection::connectTo(quint16(base + 2));
             sender->send("MSB;7;Ann;ann@x.org;Porto;10:00;Hello Cleo;<E>");
             waitUntil([&] { return sender->take("MRN;<E>"); });
             sender->send("MSE;<E>");
             sender->waitClosed();
             QTest::mouseDClick(find("imgMsgIn"), Qt::LeftButton);
         }},
        {"frmErrorMsg", [&] { windows.showErrorMessage("Could not save the settings."); }},
        {"frmCallIn",
         [&] {
             first = RawConnection::connectTo(base);
             first->send("RQC;Ann;Porto;9:05;");
         }},
        {"frmBusyNotify",
         [&] {
             second = RawConnection::connectTo(base);
             second->send("RQC;Bo;Rome;9:06;");
         }},
        {"frmRedirect",
         [&] { emit p.directoryModel().redirectOffered("dir2.example:2020", "Over there"); }},
    };
    // A dialog is open, as on the first start when the directory's notice arrives.
    windows.showOptions();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(find("frmOptions")));
    for (const Opening &o : openings) {
        SCOPED_TRACE(o.window);
        o.open();
        ASSERT_TRUE(waitUntil([&] { return find(o.window) && find(o.window)->isVisible(); }));
        QWidget *window = find(o.window);
        QElapsedTimer since;
        since.start();
        double difference = 255;
        while (since.elapsed() < 200 && (difference = screenDifference(window)) > 2)
            QTest::qWait(10);
        EXPECT_LE(difference, 2) << "not drawn within 200 ms";
    }
}
