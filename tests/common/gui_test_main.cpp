// Test entry point for code that paints: a GUI application object on the
// offscreen platform unless another one is chosen.
#include "display/RuntimeDir.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    dm::EnsureRuntimeDir();
    dm::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
