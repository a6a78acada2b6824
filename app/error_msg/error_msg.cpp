// SPDX-License-Identifier: MIT
#include "error_msg.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string identity_lookup(const char* key) { return key; }

void stderr_sink(const std::string& title, const std::string& text, const std::string&) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

TextLookup g_lookup = identity_lookup;
AlertSink g_sink = stderr_sink;
TerminateHandler g_terminate = nullptr;
int g_alerts_shown = 0;

}  // namespace

std::string error_msg_text(const char* message, int16_t code, TextLookup lookup) {
    if (!lookup) lookup = identity_lookup;
    std::string text = lookup(message);
    if (code != 0) text += "\n" + lookup("error code") + " = " + std::to_string(code);
    return text;
}

void error_msg(const char* message, int16_t code) {
    ++g_alerts_shown;
    g_sink(g_lookup(kErrorTitle), error_msg_text(message, code, g_lookup), g_lookup("OK"));
    --g_alerts_shown;
}

bool alert_is_shown() { return g_alerts_shown > 0; }

void set_error_msg_backend(TextLookup lookup, AlertSink sink) {
    g_lookup = lookup ? lookup : identity_lookup;
    g_sink = sink ? sink : stderr_sink;
}

TextLookup error_msg_lookup() { return g_lookup; }

void terminate_application() {
    if (g_terminate) g_terminate();
    std::exit(1);
}

void set_terminate_handler(TerminateHandler handler) { g_terminate = handler; }
