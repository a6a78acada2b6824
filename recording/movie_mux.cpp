// SPDX-License-Identifier: MIT
// The movie file while it is recorded: libavformat's fragmented QuickTime output on a file
// descriptor of our own, so that every write failure keeps its errno and the file can be cut
// back to its last complete fragment.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "av_common.h"

extern "C" {
#include <libavutil/mem.h>
}

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr int64_t kMinFragment = kMediaTimeScale / 2;  // media units: cut at a key frame
constexpr int64_t kMaxFragment = kMediaTimeScale;      // media units: never hold more

struct IoFree {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

}  // namespace

struct MovieFile::Impl {
    std::string path, dest;
    int fd = -1;
    int failure = 0;    // errno of the first failure
    bool gone = false;  // the file was removed from its folder
    std::unique_ptr<AVIOContext, IoFree> io;
    av::OutputPtr oc;
    AVStream* stream = nullptr;
    av::PacketPtr sample;  // carries each sample to the muxer while media edits are open
    bool headerWritten = false, trailerWritten = false;
    int64_t mediaTime = 0;  // media units
    int64_t samples = 0;
    int64_t fragmentStart = 0;  // media time of the first sample not yet on disk
    int64_t keptBytes = 0;      // the file up to its last complete fragment
    int64_t keptSamples = 0;
    int64_t keptDuration = 0;  // media units in the complete fragments

    static int write(void* opaque, uint8_t* buf, int size) {
        auto* m = static_cast<Impl*>(opaque);
        for (int done = 0; done < size;) {
            const ssize_t n = ::write(m->fd, buf + done, static_cast<size_t>(size - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int e = n < 0 ? errno : ENOSPC;
                if (!m->failure) m->failure = e;
                return AVERROR(e);
            }
            done += static_cast<int>(n);
        }
        return size;
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* m = static_cast<Impl*>(opaque);
        if (whence == AVSEEK_SIZE) {
            struct stat st;
            return ::fstat(m->fd, &st) == 0 ? st.st_size : AVERROR(errno);
        }
        const off_t at = ::lseek(m->fd, offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : at;
    }

    int fail(int err) {
        if (!failure) failure = err < 0 ? -err : EIO;
        return err < 0 ? err : AVERROR(EIO);
    }

    // Everything written so far goes to the file; the file is then whole up to here.
    int commit() {
        avio_flush(oc->pb);
        if (oc->pb->error < 0 || failure) return fail(oc->pb->error < 0 ? oc->pb->error : 0);
        keptBytes = avio_tell(oc->pb);
        keptSamples = samples;
        keptDuration = fragmentStart = mediaTime;
        return 0;
    }

    int cutFragment() {
        if (samples == keptSamples) return 0;
        const int err = av_write_frame(oc.get(), nullptr);
        if (err < 0) return fail(err);
        return commit();
    }
};

MovieFile::MovieFile() : impl_(std::make_unique<Impl>()) {}

MovieFile::~MovieFile() {
    closeMovieFile();
}

int16_t MovieFile::createMovieFile(const std::string& path, std::unique_ptr<MovieFile>& out) {
    std::unique_ptr<MovieFile> movie(new MovieFile());
    Impl& m = *movie->impl_;
    m.path = m.dest = path;
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, "mov", path.c_str());
    if (err < 0 || !raw) return narrow(err < 0 ? err : AVERROR(ENOMEM));
    m.oc.reset(raw);
    m.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m.fd < 0) return narrow(AVERROR(errno));
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer) return narrow(AVERROR(ENOMEM));
    AVIOContext* io =
        avio_alloc_context(buffer, kIoBufferBytes, 1, &m, nullptr, &Impl::write, &Impl::seek);
    if (!io) {
        av_free(buffer);
        return narrow(AVERROR(ENOMEM));
    }
    m.io.reset(io);
    m.oc->pb = io;
    m.oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    out = std::move(movie);
    return 0;
}

int16_t MovieFile::newMovieTrack(Fixed width, Fixed height, int& track) {
    Impl& m = *impl_;
    if (m.stream) return paramErr;  // one track per movie
    AVStream* st = avformat_new_stream(m.oc.get(), nullptr);
    if (!st) return narrow(AVERROR(ENOMEM));
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->width = width >> 16;
    st->codecpar->height = height >> 16;
    m.stream = st;
    track = st->index;
    return 0;
}

int16_t MovieFile::newTrackMedia(int track, uint32_t mediaType, int32_t timeScale, int& media) {
    Impl& m = *impl_;
    if (!m.stream || track != m.stream->index || mediaType != fourcc("vide") ||
        timeScale != kMediaTimeScale)
        return paramErr;
    m.stream->time_base = AVRational{1, timeScale};
    media = track;
    return 0;
}

int16_t MovieFile::beginMediaEdits(int media) {
    Impl& m = *impl_;
    if (!m.stream || media != m.stream->index) return paramErr;
    if (!m.sample) m.sample.reset(av_packet_alloc());
    return m.sample ? 0 : memFullErr;
}

int16_t MovieFile::addMediaSample(int media, const uint8_t* data, int32_t size, int32_t duration,
                                  const ImageDescription* desc, int16_t sampleFlags) {
    Impl& m = *impl_;
    if (!m.sample || !m.stream || media != m.stream->index || !desc || !desc->par || size <= 0 ||
        duration <= 0)
        return paramErr;
    if (m.failure) return narrow(AVERROR(m.failure));
    int err = 0;
    if (!m.headerWritten) {
        err = avcodec_parameters_copy(m.stream->codecpar, desc->par.get());
        if (err < 0) return narrow(err);
        AVDictionary* opts = nullptr;
        av_dict_set_int(&opts, "video_track_timescale", kMediaTimeScale, 0);
        av_dict_set(&opts, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
        av::DictPtr optsOwner(opts);
        AVDictionary* raw = optsOwner.release();
        err = avformat_write_header(m.oc.get(), &raw);
        optsOwner.reset(raw);
        if (err < 0) return narrow(m.fail(err));
        m.headerWritten = true;
        if (m.stream->time_base.num != 1 || m.stream->time_base.den != kMediaTimeScale)
            return narrow(AVERROR(EINVAL));  // the muxer would not keep the media's scale
        if ((err = m.commit()) < 0) return narrow(err);
    }
    if (m.gone) return narrow(AVERROR(ENOENT));
    const bool key = sampleFlags == 0;
    const int64_t pending = m.mediaTime - m.fragmentStart;
    bool cut = false;
    if ((key && pending >= kMinFragment) || pending + duration > kMaxFragment) {
        if ((err = m.cutFragment()) < 0) return narrow(err);
        cut = true;
    }
    AVPacket* p = m.sample.get();
    p->data = const_cast<uint8_t*>(data);
    p->size = size;
    p->pts = p->dts = m.mediaTime;
    p->duration = duration;
    p->flags = key ? AV_PKT_FLAG_KEY : 0;
    p->stream_index = m.stream->index;
    err = av_write_frame(m.oc.get(), p);
    p->data = nullptr;
    p->size = 0;
    if (err < 0) return narrow(m.fail(err));
    m.mediaTime += duration;
    ++m.samples;
    // Once a fragment, the file's place is checked: a removed folder ends the recording, this
    // sample still in the movie.
    if (cut && fileGone()) return narrow(AVERROR(ENOENT));
    return 0;
}

int16_t MovieFile::endMediaEdits(int media) {
    Impl& m = *impl_;
    if (!m.sample || !m.stream || media != m.stream->index) return paramErr;
    m.sample.reset();
    if (!m.headerWritten) return 0;
    if (m.failure) return narrow(AVERROR(m.failure));
    return narrow(m.cutFragment());
}

int64_t MovieFile::getMediaDuration(int) const {
    return impl_->mediaTime;
}
int64_t MovieFile::sampleCount() const {
    return impl_->samples;
}
int64_t MovieFile::keptSamples() const {
    return impl_->keptSamples;
}
int MovieFile::failureErrno() const {
    return impl_->failure ? impl_->failure : impl_->gone ? ENOENT : 0;
}
void MovieFile::setDestination(const std::string& path) {
    impl_->dest = path;
}
const std::string& MovieFile::destination() const {
    return impl_->dest;
}

bool MovieFile::fileGone() {
    Impl& m = *impl_;
    struct stat st;
    if (m.fd >= 0 && ::fstat(m.fd, &st) == 0 && st.st_nlink == 0) m.gone = true;
    return m.gone;
}

void MovieFile::keepCompleteFragments() {
    Impl& m = *impl_;
    if (m.fd < 0) return;
    // The muxer's buffers are dropped with it: nothing more reaches the file.
    m.oc.reset();
    m.io.reset();
    m.stream = nullptr;
    if (::ftruncate(m.fd, m.keptBytes) != 0 && !m.failure) m.failure = errno;
    m.samples = m.keptSamples;
}

int16_t MovieFile::insertMediaIntoTrack(int track, int64_t trackStart, int64_t mediaTime,
                                        int64_t duration, Fixed rate) {
    Impl& m = *impl_;
    // The muxer's edit list places the whole media from time 0 at rate 1.
    if (!m.stream || track != m.stream->index || trackStart != 0 || mediaTime != 0 ||
        rate != kFixed1 || duration != m.mediaTime)
        return paramErr;
    m.stream->duration = duration;
    return 0;
}

int16_t MovieFile::addMovieResource(const std::string& name) {
    Impl& m = *impl_;
    if (!m.headerWritten || !m.oc) return paramErr;
    if (m.failure) return narrow(AVERROR(m.failure));
    if (!m.trailerWritten) {
        // The fragments' index at the end: the fragmented file is complete by itself.
        int err = av_write_trailer(m.oc.get());
        if (err >= 0) err = m.commit();
        if (err < 0) return narrow(m.fail(err));
        m.trailerWritten = true;
    }
    return rewriteAsStandardMovie(name);
}

int16_t MovieFile::rewriteAsStandardMovie(const std::string& name) {
    Impl& m = *impl_;
    if (m.fd < 0 || m.keptSamples == 0) return paramErr;
    if (m.oc && m.oc->pb) avio_flush(m.oc->pb);
    // Read back through the descriptor: it holds the movie even if its name is gone.
    const std::string source = "/proc/self/fd/" + std::to_string(m.fd);
    int cause = 0;
    const int16_t status = rewrite_standard_movie(source, m.dest, name, m.keptDuration, cause);
    if (status != 0 && cause && !m.failure) m.failure = cause;
    return status;
}

int16_t MovieFile::closeMovieFile() {
    Impl& m = *impl_;
    if (m.fd < 0) return 0;
    if (m.oc && m.oc->pb) avio_flush(m.oc->pb);
    m.oc.reset();
    m.io.reset();
    m.stream = nullptr;
    const int fd = m.fd;
    m.fd = -1;
    if (::close(fd) != 0) {
        if (!m.failure) m.failure = errno;
        return narrow(AVERROR(errno));
    }
    return 0;
}

int16_t delete_movie_file(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return narrow(AVERROR(errno));
    return 0;
}
