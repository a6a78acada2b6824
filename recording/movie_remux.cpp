// SPDX-License-Identifier: MIT
// The end of a recording: the fragmented movie rewritten, packet for packet, into a standard
// movie whose index stands at the front.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "av_common.h"

namespace {

struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

int fail(int err, int& causeErrno) {
    if (err < 0 && err > -4096)
        causeErrno = -err;
    else if (err == AVERROR_EOF)
        causeErrno = EIO;
    return err;
}

int rewrite(const std::string& source, const std::string& dest, const std::string& title,
            int64_t mediaDuration, int& causeErrno) {
    AVFormatContext* rawIn = nullptr;
    int err = avformat_open_input(&rawIn, source.c_str(), av_find_input_format("mov"), nullptr);
    if (err < 0) return fail(err, causeErrno);
    av::InputPtr in(rawIn);
    if (in->nb_streams != 1 || in->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return AVERROR_INVALIDDATA;
    const AVStream* ist = in->streams[0];

    // Beside the destination, so that the rename replaces it in one step.
    TempFile temp;
    const size_t slash = dest.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : dest.substr(0, slash);
    std::string pattern = dir + "/.wobblescope-movie-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return fail(AVERROR(errno), causeErrno);
    // The movie gets the permissions a newly created file gets, not the private ones of a
    // temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    temp.path = pattern;

    AVFormatContext* rawOut = nullptr;
    err = avformat_alloc_output_context2(&rawOut, nullptr, "mov", temp.path.c_str());
    if (err < 0 || !rawOut) return err < 0 ? err : AVERROR(ENOMEM);
    av::OutputPtr out(rawOut);
    AVStream* ost = avformat_new_stream(out.get(), nullptr);
    if (!ost) return AVERROR(ENOMEM);
    if ((err = avcodec_parameters_copy(ost->codecpar, ist->codecpar)) < 0) return err;
    ost->time_base = AVRational{1, kMediaTimeScale};
    if ((err = av_dict_set(&out->metadata, "title", title.c_str(), 0)) < 0) return err;
    if ((err = avio_open(&out->pb, temp.path.c_str(), AVIO_FLAG_WRITE)) < 0)
        return fail(err, causeErrno);

    AVDictionary* opts = nullptr;
    av_dict_set_int(&opts, "video_track_timescale", kMediaTimeScale, 0);
    av_dict_set(&opts, "movflags", "faststart", 0);
    err = avformat_write_header(out.get(), &opts);
    av_dict_free(&opts);
    if (err < 0) return fail(err, causeErrno);
    if (ost->time_base.num != 1 || ost->time_base.den != kMediaTimeScale) return AVERROR(EINVAL);

    // The demuxer cannot know how long the last sample of a fragmented movie lasts: it is held
    // back one packet and given the rest of the media's duration.
    av::PacketPtr pkt(av_packet_alloc()), held(av_packet_alloc());
    if (!pkt || !held) return AVERROR(ENOMEM);
    int64_t packets = 0;
    auto write_held = [&]() {
        av_packet_rescale_ts(held.get(), ist->time_base, ost->time_base);
        held->stream_index = 0;
        held->pos = -1;
        const int e = av_write_frame(out.get(), held.get());
        av_packet_unref(held.get());
        ++packets;
        return e;
    };
    while ((err = av_read_frame(in.get(), pkt.get())) >= 0) {
        if (held->data && (err = write_held()) < 0) return fail(err, causeErrno);
        av_packet_move_ref(held.get(), pkt.get());
    }
    if (err != AVERROR_EOF) return fail(err, causeErrno);
    if (!held->data) return AVERROR_INVALIDDATA;
    const int64_t end = av_rescale_q(mediaDuration, AVRational{1, kMediaTimeScale}, ist->time_base);
    if (end > held->dts) held->duration = end - held->dts;
    if ((err = write_held()) < 0) return fail(err, causeErrno);
    if ((err = av_write_trailer(out.get())) < 0) return fail(err, causeErrno);
    if (out->pb->error < 0) return fail(out->pb->error, causeErrno);
    if ((err = avio_closep(&out->pb)) < 0) return fail(err, causeErrno);
    if (::rename(temp.path.c_str(), dest.c_str()) != 0) return fail(AVERROR(errno), causeErrno);
    temp.path.clear();
    return 0;
}

}  // namespace

int16_t rewrite_standard_movie(const std::string& source, const std::string& dest,
                               const std::string& title, int64_t mediaDuration, int& causeErrno) {
    causeErrno = 0;
    return narrow(rewrite(source, dest, title, mediaDuration, causeErrno));
}
