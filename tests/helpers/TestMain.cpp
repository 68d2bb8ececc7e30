// One main for every test program: a real application object under the
// offscreen platform, the C locale, and a data directory that is never the
// build folder.
#include "platform/TApplication.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("LC_ALL", "C");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("ZEPHYN_HOME", home.path().toLocal8Bit());
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Zephyn for Windows"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
