// Test entry point: the endpoints and timers need a Qt application object and its event loop.
#ifdef OVELA_TEST_WIDGETS
#include <QApplication>
#endif
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef OVELA_TEST_WIDGETS
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
