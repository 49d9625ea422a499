// Test entry: an application object on the main thread, so main-thread hand-overs work.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#ifdef VORNIC_GUI_TESTS
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    TestApp app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
