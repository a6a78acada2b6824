// SPDX-License-Identifier: MIT
#include "error_msg.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string identity_lookup(const char* key) { return key; }

void no_sink(const std::string&, const std::string&, const std::string&) {}

// One line, whatever the message and cause hold.
std::string one_line(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

TextLookup g_lookup = identity_lookup;
AlertSink g_sink = no_sink;
TerminateHandler g_terminate = nullptr;
int g_alerts_shown = 0;

}  // namespace

std::string error_msg_text(const char* message, int16_t code, TextLookup lookup) {
    if (!lookup) lookup = identity_lookup;
    std::string text = lookup(message);
    if (code != 0) text += "\n" + lookup("error code") + " = " + std::to_string(code);
    return text;
}

std::string error_msg_text(const char* message, int16_t code, TextLookup lookup,
                           const std::string& cause) {
    std::string text = error_msg_text(message, code, lookup);
    if (!cause.empty()) text += "\n\n" + cause;
    return text;
}

void error_msg(const char* message, int16_t code) { error_msg(message, code, std::string()); }

void error_msg(const char* message, int16_t code, const std::string& cause) {
    const std::string title = g_lookup(kErrorTitle);
    std::string line = title + ": " + g_lookup(message) + " (" + g_lookup("error code") + " = " +
                       std::to_string(code) + ")";
    if (!cause.empty()) line += ": " + cause;
    std::fprintf(stderr, "%s\n", one_line(line).c_str());
    std::fflush(stderr);
    ++g_alerts_shown;
    g_sink(title, error_msg_text(message, code, g_lookup, cause), g_lookup("OK"));
    --g_alerts_shown;
}

bool alert_is_shown() { return g_alerts_shown > 0; }

void set_error_msg_backend(TextLookup lookup, AlertSink sink) {
    g_lookup = lookup ? lookup : identity_lookup;
    g_sink = sink ? sink : no_sink;
}

TextLookup error_msg_lookup() { return g_lookup; }

void terminate_application() {
    if (g_terminate) g_terminate();
    std::exit(1);
}

void set_terminate_handler(TerminateHandler handler) { g_terminate = handler; }
