// SPDX-License-Identifier: MIT
#include "movie_reader.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <regex>

#include "av_owners.h"

namespace {

// What a shell command writes to its standard output (and error); its exit status in status.
std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    status = p ? pclose(p) : -1;
    return out;
}

}  // namespace

MovieInfo read_movie(const std::string& path) {
    MovieInfo info;
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    av::InputPtr in(err < 0 ? nullptr : raw);
    if (err >= 0) err = avformat_find_stream_info(in.get(), nullptr);
    AVStream* st = nullptr;
    for (unsigned i = 0; err >= 0 && i < in->nb_streams; ++i) {
        ++info.streams;
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !info.videoStreams++)
            st = in->streams[i];  // the first video stream
    }
    const AVDictionaryEntry* title = err < 0 ? nullptr : av_dict_get(in->metadata, "title", nullptr, 0);
    if (title) info.title = title->value;
    if (st) {
        info.timeBaseDen = st->time_base.den;
        info.codecTag = __builtin_bswap32(st->codecpar->codec_tag);  // stored first character low
        info.width = st->codecpar->width;
        info.height = st->codecpar->height;
        info.avgFrameRate = av_q2d(st->avg_frame_rate);
        info.rFrameRate = av_q2d(st->r_frame_rate);
        info.guessedFrameRate = av_q2d(av_guess_frame_rate(in.get(), st, nullptr));
        av::PacketPtr pkt(av_packet_alloc());
        while ((err = av_read_frame(in.get(), pkt.get())) >= 0) {
            if (pkt->stream_index == st->index) {
                info.durations.push_back(pkt->duration);
                info.dts.push_back(pkt->dts);
                info.sync.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
            }
            av_packet_unref(pkt.get());
        }
    }
    if (err < 0 && err != AVERROR_EOF) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(err, text, sizeof text);
        info.error = path + ": " + text;
    }
    return info;
}

std::string ffmpeg_warnings(const std::string& path) {
    int status = 0;
    const std::string out = std::regex_replace(
        run("ffmpeg -nostdin -hide_banner -v warning -i '" + path + "' -f null -", status),
        // FFmpeg's mjpeg decoder says so of whole pictures too, depending on their content.
        std::regex(".*\\] EOI missing, emulating\n"), "");
    return status != 0 && out.empty() ? "(ffmpeg exit " + std::to_string(status) + ")" : out;
}

// ffprobe decodes every sample; a sample that does not decode is an error.
int decode_movie(const std::string& path, std::string& error) {
    int status = 0, frames = -1, samples = -1;
    const std::string out =
        run("ffprobe -v error -err_detect explode -select_streams v:0 -count_frames "
            "-count_packets -show_entries stream=nb_read_frames,nb_read_packets -of csv=p=0 '" +
                path + "'",
            status);
    if (status == 0 && std::sscanf(out.c_str(), "%d,%d\n", &frames, &samples) == 2 &&
        out.find('\n') + 1 == out.size() && frames == samples)
        return frames;
    error = path + ": decoded,samples: " + out;
    return -1;
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
                                    "-pix_fmt rgb24 -",
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
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? std::numeric_limits<double>::infinity()
                    : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}
