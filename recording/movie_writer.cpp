// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "av_movie.h"
#include "error_msg.h"
#include "recording.h"

namespace {

constexpr const char* kMovieName = "screenMovie";

int16_t errno_status() {
    const int e = errno;
    return static_cast<int16_t>(e > 0 && e < INT16_MAX ? -e : paramErr);
}

int64_t read_clock(const RecordingState& r) {
    if (r.clock) return r.clock();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Closes the movie and removes its file; the compression sequence, if any, is ended.
void delete_movie(RecordingState& r) {
    if (r.RecVideoCI) r.RecVideoCI->compressSequenceEnd();
    r.RecImageDesc = nullptr;
    r.RecMovie.reset();
    r.RecFRefNum = 0;
    if (!r.RecFSSpec.empty()) delete_movie_file(r.RecFSSpec);
}

bool fail_setup(RecordingState& r, const char* message, int16_t err) {
    if (message) error_msg(message, err);
    delete_movie(r);
    return false;
}

// The errno value behind a status, when the status is one.
int status_errno(int16_t status) {
    return status < 0 && status > -4096 ? -status : 0;
}

// What became of a movie that was ended: the pictures kept and where they are.
struct Ending {
    const char* message = nullptr;  // the first step that failed; null when none did
    int16_t code = 0;
    int cause = 0;  // errno value
    int64_t kept = 0;
    std::string where;
};

void note(Ending& e, const char* message, int16_t code, int cause) {
    if (e.message) return;
    e.message = message;
    e.code = code;
    e.cause = cause;
}

// Ends the movie, keeping every picture that reached the disk: completed as a standard movie
// where that works, else left as its complete fragments; saved in the home folder when its own
// folder was removed; removed only when it holds no picture at all.
Ending end_movie(RecordingState& r, Ending e) {
    MovieFile& movie = *r.RecMovie;
    const bool moved = movie.fileGone();
    if (moved) movie.setDestination(home_movie_path(r.RecFSSpec));
    if (int16_t err = r.RecVideoCI->compressSequenceEnd())
        note(e, "SCCompressSequenceEnd for Video", err, 0);
    r.RecImageDesc = nullptr;
    bool complete = movie.failureErrno() == 0 || moved;
    if (complete) {
        if (int16_t err = movie.endMediaEdits(r.RecVideoMedia)) {
            note(e, "EndMediaEdits for Video", err, movie.failureErrno());
            complete = false;
        }
    }
    if (complete) {
        if (int16_t err = movie.insertMediaIntoTrack(
                r.RecVideoTrack, 0, 0, movie.getMediaDuration(r.RecVideoMedia), kFixed1))
            note(e, "InsertMediaIntoTrack for Video", err, 0);
        if (int16_t err = movie.addMovieResource(kMovieName)) {
            note(e, "AddMovieResource", err, movie.failureErrno());
            complete = false;
        }
    }
    if (!complete && !moved) {
        // What could not be written is cut off; the rest is still worth a standard movie.
        movie.keepCompleteFragments();
        if (movie.keptSamples() > 0) movie.rewriteAsStandardMovie(kMovieName);
    }
    e.kept = complete ? movie.sampleCount() : moved ? 0 : movie.keptSamples();
    e.where = complete ? movie.destination() : r.RecFSSpec;
    if (int16_t err = movie.closeMovieFile()) note(e, "CloseMovieFile", err, status_errno(err));
    if (moved) note(e, "AddMovieResource", -ENOENT, ENOENT);
    r.RecMovie.reset();
    r.RecFRefNum = 0;
    if (e.kept == 0 && !moved) delete_movie_file(r.RecFSSpec);
    return e;
}

// A frame failed: the recording ends before the failure is reported, since an alert's event
// loop goes on drawing (and would otherwise record) frames.
bool fail_frame(RecordingState& r, const char* message, int16_t err) {
    r.RecordingOn = 0;
    Ending e;
    // The file's own failure names the cause; a compressor's status is no errno value.
    const int cause = r.RecMovie->failureErrno();
    note(e, message, err, cause ? cause : err == memFullErr ? ENOMEM : 0);
    e = end_movie(r, e);
    const std::string text =
        recording_failure_text(e.message, e.code, e.cause, e.kept, e.where, true);
    if (r.recordingAborted)
        r.recordingAborted(text.c_str(), 0);
    else
        error_msg(text.c_str(), 0);
    return false;
}

}  // namespace

bool setup_recording(RecordingState& r, const PipelineState& s, const std::string& path) {
    // Non-blocking, so that a FIFO without a reader is refused instead of hanging the window.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        error_msg("Cannot create new file", 0);
        return false;
    }
    ::close(fd);

    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        error_msg("FSPathMakeRef", errno_status());
        return false;
    }
    r.RecFSSpec = resolved;
    std::free(resolved);
    struct stat st;
    if (::stat(r.RecFSSpec.c_str(), &st) != 0) {
        error_msg("FSGetCatalogInfo", errno_status());
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error_msg("FSGetCatalogInfo", paramErr);
        return false;
    }

    r.RecMovie.reset();
    if (int16_t err = MovieFile::createMovieFile(r.RecFSSpec, r.RecMovie)) {
        error_msg("CreateMovieFile", err);
        return false;
    }
    r.RecFRefNum = 1;
    r.RecRTFrameDuration = kFirstFrameDuration;

    if (int16_t err =
            r.RecMovie->newMovieTrack(s.Width * kFixed1, s.Height * kFixed1, r.RecVideoTrack))
        return fail_setup(r, "NewMovieTrack for Video", err);
    if (int16_t err = r.RecMovie->newTrackMedia(r.RecVideoTrack, fourcc("vide"), kMovieTimeScale,
                                                r.RecVideoMedia))
        return fail_setup(r, "NewTrackMedia for Video", err);
    if (int16_t err = r.RecMovie->beginMediaEdits(r.RecVideoMedia))
        return fail_setup(r, "BeginMediaEdits for Video", err);
    if (!r.RecVideoCI && !create_video_compressor(r, s)) return fail_setup(r, nullptr, 0);
    r.RecMediaDuration = 0;
    if (!setup_rec_frame_pixmap(r, s)) return fail_setup(r, nullptr, 0);
    r.RecordingOn = 1;
    return true;
}

bool add_media_samples(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                       int rowBytes) {
    const int64_t now = read_clock(r);
    const int64_t seconds = now / 1000000, micros = now % 1000000;
    if (!r.clockStarted) {
        r.startTime = seconds;
        r.clockStarted = true;
    }
    const auto t = static_cast<uint32_t>((seconds - r.startTime) * 1000 + micros / 1000);
    int32_t duration = kFirstFrameDuration;
    if (r.RecMediaDuration != 0) {
        // A frame in the same millisecond as the previous one, or a reading that went back,
        // still lasts one unit: no sample may have no duration.
        const uint64_t d = t > r.prevMsec ? 3 * static_cast<uint64_t>(t - r.prevMsec) / 5 : 1;
        duration = static_cast<int32_t>(d < 1 ? 1 : d > INT32_MAX ? INT32_MAX : d);
    }
    r.prevMsec = t;
    return add_timed_media_sample(r, s, bitmapData, rowBytes, duration);
}

bool add_timed_media_sample(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                            int rowBytes, int32_t duration) {
    if (!r.RecordingOn || !r.RecMovie || !r.MoviePixMap) return false;
    r.RecRTFrameDuration = duration > 0 ? duration : 1;
    copy_bm_to_pm(s, bitmapData, rowBytes, r.MoviePixMap);
    if (r.RecMediaDuration == 0) {
        if (int16_t err =
                r.RecVideoCI->compressSequenceBegin(r.MoviePixMap, nullptr, &r.RecImageDesc))
            return fail_frame(r, "SCCompressSequenceBegin", err);
    }
    Rect16 rect;
    rect.bottom = static_cast<int16_t>(s.Height);
    rect.right = static_cast<int16_t>(s.Width);
    const uint8_t* data = nullptr;
    int32_t size = 0;
    int16_t notSync = 0;
    if (int16_t err = r.RecVideoCI->compressSequenceFrame(r.MoviePixMap, rect, &data, &size,
                                                          &notSync, r.RecMediaDuration))
        return fail_frame(r, "SCCompressSequenceFrame", err);
    if (int16_t err = r.RecMovie->addMediaSample(r.RecVideoMedia, data, size, r.RecRTFrameDuration,
                                                 r.RecImageDesc, notSync))
        return fail_frame(r, "AddMediaSample for Video", err);
    r.RecMediaDuration += r.RecRTFrameDuration;
    return true;
}

bool finish_recording(RecordingState& r) {
    r.RecordingOn = 0;
    if (!r.RecMovie) return false;  // no recording under way
    if (r.RecMediaDuration == 0) {
        // Not one frame was added: there is no movie to keep, only an empty file.
        delete_movie(r);
        return true;
    }
    const Ending e = end_movie(r, Ending{});
    if (!e.message) return true;
    error_msg(recording_failure_text(e.message, e.code, e.cause, e.kept, e.where, false).c_str(),
              0);
    return false;
}

void cancel_recording(RecordingState& r) {
    r.RecordingOn = 0;
    if (r.RecMovie) delete_movie(r);
}
