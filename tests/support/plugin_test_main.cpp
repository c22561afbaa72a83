/*
 * main of the core tests: the test host takes the locale from the
 * environment as the console does, with German messages asked for, so a
 * test sees translations exactly where it installed the catalogue.
 */
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char **argv) {
    // glibc ignores LANGUAGE under the plain C locale.
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("LANGUAGE", "de", 1);
    setlocale(LC_ALL, "");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
