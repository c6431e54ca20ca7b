#include <QApplication>
#include <gtest/gtest.h>

// One QApplication for the whole test program. Listing the tests, as the build does, needs
// no display and makes none.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
