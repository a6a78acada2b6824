// SPDX-License-Identifier: MIT
// What a failed recording tells the user: the failing step, the cause in words and where the
// pictures that were kept are.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "error_msg.h"
#include "recording.h"

namespace {

std::string lookup(const char* key) {
    const TextLookup l = error_msg_lookup();
    return l ? l(key) : key;
}

// Fills %1 and %2 of a looked-up text.
std::string fill(std::string text, const std::string& one, const std::string& two) {
    for (const auto& [mark, value] : {std::pair{"%1", one}, std::pair{"%2", two}})
        if (const size_t at = text.find(mark); at != std::string::npos) text.replace(at, 2, value);
    return text;
}

std::string home_folder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

bool is_folder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string recording_cause_text(int causeErrno) {
    switch (causeErrno) {
        case 0:
            return "";
        case ENOSPC:
            return lookup("The disk is full.");
        case EDQUOT:
            return lookup("The disk quota is used up.");
        case EFBIG:
            return lookup("The movie file has reached the largest size allowed.");
        case ENOENT:
        case ESTALE:
            return lookup("The folder of the movie was removed.");
        case EROFS:
            return lookup("The disk is read-only.");
        case EACCES:
        case EPERM:
            return lookup("The movie's folder may not be written.");
        case ENOMEM:
            return lookup("The memory is used up.");
        case EIO:
            return lookup("The disk could not be written.");
        default:
            return fill(lookup("Writing the movie failed: %1."), std::strerror(causeErrno), "");
    }
}

std::string display_path(const std::string& path) {
    const std::string home = home_folder();
    if (home.size() > 1 && path.size() > home.size() && path.compare(0, home.size(), home) == 0 &&
        path[home.size()] == '/')
        return "~" + path.substr(home.size());
    return path;
}

std::string home_movie_path(const std::string& path) {
    namespace fs = std::filesystem;
    std::string folder = home_folder();
    if (!is_folder(folder)) folder = fs::temp_directory_path().string();
    const fs::path name = fs::path(path).filename();
    const std::string stem = name.stem().string(), ext = name.extension().string();
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate =
            folder + "/" + (n == 1 ? stem : stem + " " + std::to_string(n)) + ext;
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0) return candidate;
    }
    return folder + "/" + stem + " " + std::to_string(::getpid()) + ext;
}

std::string recording_failure_text(const char* message, int16_t code, int causeErrno,
                                   int64_t keptPictures, const std::string& where, bool stopped) {
    std::string text = error_msg_text(message, code, error_msg_lookup());
    std::string cause = recording_cause_text(causeErrno);
    if (cause.empty() && std::strncmp(message, "SCCompress", 10) == 0)
        cause = lookup(
            "The compressor refused the picture; another compressor (File > "
            "Compression Settings) may take it.");
    text += "\n";
    if (!cause.empty()) text += cause + " ";
    const std::string n = std::to_string(keptPictures), at = display_path(where);
    if (keptPictures <= 0) {
        text += stopped ? lookup("The recording was stopped; no picture could be kept.")
                        : lookup("No picture of the recording could be kept.");
    } else if (keptPictures == 1) {
        text += fill(stopped ? lookup("The recording was stopped; the picture recorded so far is "
                                      "in %2.")
                             : lookup("The picture recorded is in %2."),
                     n, at);
    } else {
        text += fill(stopped ? lookup("The recording was stopped; the %1 pictures recorded so far "
                                      "are in %2.")
                             : lookup("The %1 pictures recorded are in %2."),
                     n, at);
    }
    return text;
}
