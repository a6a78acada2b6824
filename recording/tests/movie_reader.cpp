// SPDX-License-Identifier: MIT
#include "movie_reader.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "av_owners.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using av::InputPtr;
using av::PacketPtr;

std::string av_text(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// What a shell command writes to its standard output; its exit status in status.
std::string run(const std::string& command, int& status) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        status = -1;
        return "";
    }
    std::string out;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    status = pclose(p);
    return out;
}

}  // namespace

int64_t MovieInfo::totalDuration() const {
    int64_t t = 0;
    for (int64_t d : durations) t += d;
    return t;
}

MovieInfo read_movie(const std::string& path) {
    MovieInfo info;
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    InputPtr in(err < 0 ? nullptr : raw);
    if (err >= 0) err = avformat_find_stream_info(in.get(), nullptr);
    if (err < 0) {
        info.error = path + ": " + av_text(err);
        return info;
    }
    info.streams = static_cast<int>(in->nb_streams);
    int video = -1;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoStreams;
            if (video < 0) video = static_cast<int>(i);
        }
    }
    if (const AVDictionaryEntry* e = av_dict_get(in->metadata, "title", nullptr, 0))
        info.title = e->value;
    if (video < 0) return info;
    const AVStream* st = in->streams[video];
    info.timeBaseNum = st->time_base.num;
    info.timeBaseDen = st->time_base.den;
    const uint32_t tag = st->codecpar->codec_tag;  // stored little-endian: first character low
    info.codecTag =
        (tag & 0xFF) << 24 | (tag >> 8 & 0xFF) << 16 | (tag >> 16 & 0xFF) << 8 | tag >> 24;
    info.width = st->codecpar->width;
    info.height = st->codecpar->height;
    info.avgFrameRate = av_q2d(st->avg_frame_rate);
    info.rFrameRate = av_q2d(st->r_frame_rate);
    info.guessedFrameRate =
        av_q2d(av_guess_frame_rate(in.get(), const_cast<AVStream*>(st), nullptr));
    PacketPtr pkt(av_packet_alloc());
    while ((err = av_read_frame(in.get(), pkt.get())) >= 0) {
        if (pkt->stream_index == video) {
            info.durations.push_back(pkt->duration);
            info.dts.push_back(pkt->dts);
            info.sync.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
        }
        av_packet_unref(pkt.get());
    }
    if (err != AVERROR_EOF) info.error = path + ": " + av_text(err);
    return info;
}

std::string ffmpeg_warnings(const std::string& path) {
    int status = 0;
    const std::string out =
        run("ffmpeg -nostdin -hide_banner -v warning -i '" + path + "' -f null - 2>&1", status);
    return status != 0 && out.empty() ? "(ffmpeg exit " + std::to_string(status) + ")" : out;
}

// ffprobe decodes every sample; a sample that does not decode is an error.
int decode_movie(const std::string& path, std::string& error) {
    int status = 0, frames = -1, samples = -1;
    const std::string out =
        run("ffprobe -v error -err_detect explode -select_streams v:0 -count_frames "
            "-count_packets -show_entries stream=nb_read_frames,nb_read_packets "
            "-of csv=p=0 '" +
                path + "' 2>&1",
            status);
    if (status != 0 || std::sscanf(out.c_str(), "%d,%d", &frames, &samples) != 2 ||
        out.find('\n') + 1 != out.size()) {
        error = path + ": " + out;
        return -1;
    }
    if (frames != samples) error = std::to_string(samples - frames) + " samples did not decode";
    return frames == samples ? frames : -1;
}

bool decode_movie_frame(const std::string& path, int index, std::vector<uint8_t>& rgb, int& width,
                        int& height, std::string& error) {
    const MovieInfo m = read_movie(path);
    width = m.width;
    height = m.height;
    int status = 0;
    const std::string out = run("ffmpeg -nostdin -v error -i '" + path +
                                    "' -map 0:v:0 -vf 'select=eq(n\\," + std::to_string(index) +
                                    ")' -frames:v 1 -fps_mode passthrough -f rawvideo "
                                    "-pix_fmt rgb24 - 2>/dev/null",
                                status);
    rgb.assign(out.begin(), out.end());
    if (status == 0 && m.error.empty() && out.size() == 3 * static_cast<size_t>(width) * height)
        return true;
    error = "frame " + std::to_string(index) + " of " + path + " not decoded " + m.error;
    return false;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}
