// SPDX-License-Identifier: MIT
#include "error_msg.h"

#include <gtest/gtest.h>

std::string german(const char* key) {
    const std::string k = key;
    return k == "error code" ? "Fehlercode" : k == "SGStop" ? "Kamera anhalten" : k;
}

// The alert's text is the looked-up message, the code's line unless it is 0, and the cause after
// a blank line; standard error gets each alert as one line. (Every window test's alert spy is a
// backend of its own.)
TEST(ErrorMsg, TextHasMessageCodeAndCauseAndStandardErrorGetsOneLine) {
    EXPECT_EQ(error_msg_text("malloc for source", 0, nullptr, ""), "malloc for source");
    EXPECT_EQ(error_msg_text("SGStop", -9405, german, "lavfi:x: No such filter: 'x'\n"),
              "Kamera anhalten\nFehlercode = -9405\n\nlavfi:x: No such filter: 'x'\n");
    set_error_msg_backend(german, nullptr);
    ::testing::internal::CaptureStderr();
    error_msg("SGStop", -9405, "lavfi:x: No such filter: 'x'\n");
    const std::string err = ::testing::internal::GetCapturedStderr();
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(err,
              "Error in Wobblescope: Kamera anhalten (Fehlercode = -9405): lavfi:x: No such "
              "filter: 'x' \n");
}
