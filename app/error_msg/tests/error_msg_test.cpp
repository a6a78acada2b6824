// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "error_msg.h"

namespace {

std::string german(const char* key) {
    const std::string k = key;
    if (k == "error code") return "Fehlercode";
    if (k == "SGStop") return "Kamera anhalten";
    return k;
}

TEST(ErrorMsgText, MessageAloneWhenTheCodeIsZero) {
    EXPECT_EQ(error_msg_text("malloc for source", 0, nullptr), "malloc for source");
}

TEST(ErrorMsgText, CodeLineWithTheLookedUpWords) {
    EXPECT_EQ(error_msg_text("SGStop", -9405, nullptr), "SGStop\nerror code = -9405");
    EXPECT_EQ(error_msg_text("SGStop", 7, german), "Kamera anhalten\nFehlercode = 7");
    EXPECT_EQ(error_msg_text("unknown key", 1, german), "unknown key\nFehlercode = 1");
}

TEST(ErrorMsgText, CauseIsTheSecondPartAfterABlankLine) {
    EXPECT_EQ(error_msg_text("OpenDefaultComponent SeqGrabComponentType", 0, nullptr,
                             "/dev/video9: No such file or directory"),
              "OpenDefaultComponent SeqGrabComponentType\n\n/dev/video9: No such file or directory");
    EXPECT_EQ(error_msg_text("SGStop", 7, german, "demo: ended"),
              "Kamera anhalten\nFehlercode = 7\n\ndemo: ended");
    EXPECT_EQ(error_msg_text("SGStop", 7, german, ""), "Kamera anhalten\nFehlercode = 7");
}

std::vector<std::string> g_shown;

TEST(ErrorMsg, EveryAlertIsAlsoOneLineOnStandardError) {
    ::testing::internal::CaptureStderr();
    error_msg("OpenDefaultComponent SeqGrabComponentType", 0, "lavfi:x: No such filter: 'x'\n");
    error_msg("SGStop", -9405);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error in Wobblescope: OpenDefaultComponent SeqGrabComponentType (error code = 0): "
              "lavfi:x: No such filter: 'x' \n"
              "Error in Wobblescope: SGStop (error code = -9405)\n");
}

TEST(ErrorMsg, ShowsTitleTextAndButtonThroughTheBackend) {
    set_error_msg_backend(german, [](const std::string& title, const std::string& text, const std::string& button) {
        g_shown = {title, text, button};
    });
    error_msg("SGStop", 3);
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(g_shown, (std::vector<std::string>{"Error in Wobblescope", "Kamera anhalten\nFehlercode = 3", "OK"}));
}

}  // namespace
