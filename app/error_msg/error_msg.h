// SPDX-License-Identifier: MIT
// The one alert through which every failure is reported. Qt-free, so every folder may call it;
// the application installs the modal alert and the translation lookup at start-up.
#pragma once

#include <cstdint>
#include <string>

// Looks a key up in the translation catalogue; a missing key comes back as itself.
using TextLookup = std::string (*)(const char* key);
// Shows the finished alert and returns once the user has dismissed it.
using AlertSink = void (*)(const std::string& title, const std::string& text,
                           const std::string& button);

constexpr const char* kErrorTitle = "Error in Wobblescope";

// The alert's text: the looked-up message alone when code is 0, otherwise
// "<message>\n<error code> = <code>" with both words looked up.
std::string error_msg_text(const char* message, int16_t code, TextLookup lookup);
// The same text with the cause as its second part, after a blank line; no cause, no change.
std::string error_msg_text(const char* message, int16_t code, TextLookup lookup,
                           const std::string& cause);

// Shows the alert. Every alert is also written to standard error as one line:
// "<title>: <message> (<error code> = <code>)[: <cause>]".
void error_msg(const char* message, int16_t code);
// The alert with its cause: which source was tried and why it failed, in plain words and
// already translated where the words are ours ("/dev/video9: No such file or directory").
void error_msg(const char* message, int16_t code, const std::string& cause);

// Whether an alert is being shown. The frame loop waits meanwhile: a modal alert runs its own
// event loop, which must not run camera idle calls or render passes that may have raised it.
bool alert_is_shown();

// Installs the lookup and the sink; a null argument restores the default (identity lookup, no
// sink beyond the line on standard error).
void set_error_msg_backend(TextLookup lookup, AlertSink sink);
TextLookup error_msg_lookup();

// Ends the process after a fatal failure (an allocation of the pipeline). Tests may replace the
// handler; the default exits with status 1.
using TerminateHandler = void (*)();
[[noreturn]] void terminate_application();
void set_terminate_handler(TerminateHandler handler);
