// SPDX-License-Identifier: MIT
#include "error_msg.h"

#include <gtest/gtest.h>

std::string german(const char* key) {
    const std::string k = key;
    return k == "error code" ? "Fehlercode" : k == "SGStop" ? "Kamera anhalten" : k;
}

std::vector<std::string> g_shown;

// The alert's text is the looked-up message, the code's line unless it is 0, and the cause after
// a blank line; the backend shows it, and standard error gets it as one line.
TEST(ErrorMsg, ShowsMessageCodeAndCauseThroughTheBackendAndAsOneLineOnStandardError) {
    EXPECT_EQ(error_msg_text("malloc for source", 0, nullptr, ""), "malloc for source");
    EXPECT_EQ(error_msg_text("OpenDefaultComponent", 0, nullptr, "/dev/video9: gone"),
              "OpenDefaultComponent\n\n/dev/video9: gone");
    set_error_msg_backend(
        german, [](const std::string& title, const std::string& text, const std::string& button) {
            g_shown = {title, text, button};
        });
    ::testing::internal::CaptureStderr();
    error_msg("SGStop", -9405, "lavfi:x: No such filter: 'x'\n");
    const std::string err = ::testing::internal::GetCapturedStderr();
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(err,
              "Error in Wobblescope: Kamera anhalten (Fehlercode = -9405): lavfi:x: No such "
              "filter: 'x' \n");
    EXPECT_EQ(g_shown,
              (std::vector<std::string>{
                  "Error in Wobblescope",
                  "Kamera anhalten\nFehlercode = -9405\n\nlavfi:x: No such filter: 'x'\n", "OK"}));
}
