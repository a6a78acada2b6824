// SPDX-License-Identifier: MIT
#include "render_io.h"

namespace {
bool ends_with(const std::string& s, const char* suffix) {
    const std::string t = suffix;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}
}  // namespace

std::unique_ptr<PictureSink> open_picture_sink(const std::string& output, const SinkOptions& options,
                                               std::string& error) {
    if (ends_with(output, ".rgb")) {
        if (!options.codec.empty() || !options.quality.empty()) {
            error = "--codec and --quality apply to movie outputs only";
            return nullptr;
        }
        return open_rgb_sink(output, error);
    }
    error = output + ": OUTPUT must end in .rgb";
    return nullptr;
}
