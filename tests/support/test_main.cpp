// The main of every test executable: GoogleTest with the settings all tests share (Qt widgets on
// the offscreen platform, sanitizer options that stop at the first fault).
#include <gtest/gtest.h>

#include <cstdlib>

extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
// Leaks inside the system libraries the tests load (fontconfig, the Qt platform plug-ins) are not
// ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6\nleak:libglib\nleak:libdbus\nleak:qoffscreen\n";
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
