// SPDX-License-Identifier: MIT
// The virtual camera against a real PipeWire daemon and GStreamer's pipewiresrc, and its
// conversions and refusals without one.
#include "virtual_camera.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "camera_feed.h"
#include "pipewire_daemon.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// A w x h R, G, B, X picture of the bytes `pattern` repeated.
CameraPicture picture(int w, int h, const Bytes& pattern) {
    CameraPicture p{Bytes(4 * static_cast<size_t>(w) * h), w, h, 4 * w};
    for (size_t i = 0; i < p.bytes.size(); ++i) p.bytes[i] = pattern[i % pattern.size()];
    return p;
}

// Picture n of a test feed: every byte depends on n.
CameraPicture numbered_picture(int n, int w, int h) {
    std::mt19937 rng(static_cast<unsigned>(n) + 1);
    Bytes bytes(4 * static_cast<size_t>(w) * h);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return picture(w, h, bytes);
}

Bytes converted(const CameraPicture& p, CameraFormat f, int w, int h) {
    Bytes out(static_cast<size_t>(camera_stride(f, w)) * h);
    EXPECT_TRUE(PictureConverter().convert(p, f, out.data(), camera_stride(f, w), w, h));
    return out;
}

TEST(PictureMailbox, KeepsOnlyTheNewestPictureAndNeverWritesOverTheOneBeingRead) {
    PictureMailbox box;
    const CameraPicture a = numbered_picture(1, 4, 2), b = numbered_picture(2, 4, 2);
    EXPECT_FALSE(box.put(a.bytes.data(), a.rowBytes, 4, 2));
    EXPECT_TRUE(box.put(b.bytes.data(), b.rowBytes, 4, 2));  // a was never taken
    EXPECT_EQ(box.take()->bytes, b.bytes);
    EXPECT_EQ(box.take(), nullptr);
    box.release();
    EXPECT_TRUE(box.idle());
    EXPECT_FALSE(box.put(a.bytes.data(), a.rowBytes, 4, 2));
    const CameraPicture* got = box.take();
    EXPECT_FALSE(box.put(b.bytes.data(), b.rowBytes, 4, 2));  // while a is being read
    EXPECT_EQ(got->bytes, a.bytes);
    EXPECT_FALSE(box.idle());
    box.release();
}

struct ConvertRow {
    const char* name;
    CameraFormat format;
    int w, h, scale;  // the source picture's size; the camera's size over it
    Bytes source;     // R, G, B, X bytes, repeated over the picture
    Bytes expect;     // the camera's bytes, repeated over its picture
    friend void PrintTo(const ConvertRow& row, std::ostream* os) { *os << row.name; }
};

class Convert : public ::testing::TestWithParam<ConvertRow> {};

// The bytes follow the format's order, a uniform picture stays uniform through scaling and a
// half-size picture is doubled with source pixels at even places, means between them.
TEST_P(Convert, WritesTheFormatsByteOrder) {
    const ConvertRow& row = GetParam();
    const Bytes out = converted(picture(row.w, row.h, row.source), row.format, row.w * row.scale,
                                row.h * row.scale);
    for (size_t i = 0; i < out.size(); i += row.expect.size())
        ASSERT_EQ(Bytes(out.begin() + i, out.begin() + i + row.expect.size()), row.expect) << i;
}

using F = CameraFormat;
INSTANTIATE_TEST_SUITE_P(
    Formats, Convert,
    ::testing::Values(
        ConvertRow{"BGRxSameSize", F::BGRx, 8, 4, 1, {10, 20, 30, 0}, {30, 20, 10, 0xFF}},
        ConvertRow{"RGBxSameSize", F::RGBx, 8, 4, 1, {10, 20, 30, 0}, {10, 20, 30, 0xFF}},
        ConvertRow{"RGBxHalfScaledUp", F::RGBx, 8, 4, 2, {10, 20, 30, 0}, {10, 20, 30, 0xFF}},
        ConvertRow{"BGRxThirdScaled", F::BGRx, 8, 4, 3, {10, 20, 30, 0}, {30, 20, 10, 0xFF}},
        ConvertRow{"YUY2White", F::YUY2, 8, 4, 1, {255, 255, 255, 0}, {235, 128, 235, 128}},
        ConvertRow{"YUY2BlackHalf", F::YUY2, 8, 4, 2, {0, 0, 0, 0}, {16, 128, 16, 128}},
        ConvertRow{"HalfSizeDoubledWithMeans",
                   F::RGBx,
                   2,
                   2,
                   2,
                   {0, 10, 20, 0, 100, 111, 121, 0, 200, 10, 20, 0, 100, 111, 121, 0},
                   {0,   10, 20, 255, 50,  61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255,
                    100, 10, 20, 255, 100, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255,
                    200, 10, 20, 255, 150, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255,
                    200, 10, 20, 255, 150, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DeviceRow {
    const char* name;
    const char* path;
    const char* why;
    const char* fix;  // the module option naming the device, if any
    friend void PrintTo(const DeviceRow& row, std::ostream* os) { *os << row.name; }
};

class V4l2Refusal : public ::testing::TestWithParam<DeviceRow> {};

// What is not a loopback device is named, and the message says how to get one.
TEST_P(V4l2Refusal, NamesTheDeviceAndTheFix) {
    const DeviceRow& row = GetParam();
    std::string error;
    EXPECT_EQ(open_v4l2_camera(row.path, 64, 48, error), nullptr);
    EXPECT_EQ(error, std::string(row.path) + ": " + row.why +
                         "; load the v4l2loopback module: sudo modprobe v4l2loopback" + row.fix +
                         " card_label=Wobblescope exclusive_caps=1");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, V4l2Refusal,
    ::testing::Values(DeviceRow{"Missing", "/dev/video97", "cannot open it (No such file or directory)",
                                " video_nr=97"},
                      DeviceRow{"NotV4l2", "/dev/null", "not a V4L2 device", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A node on a private daemon, fed numbered pictures at 30 a second from a thread of its own.
// Before any consumer every picture is dropped at once; then consumers come one after another,
// each choosing a format, and get the camera size, its rate and the fed pictures in order;
// while nobody watches, the camera says so.
TEST(PipeWireCamera, EachConsumerGetsTheFedPicturesInTheFormatItChose) {
    constexpr int kW = 64, kH = 48, kPictures = 40;  // distinct pictures before the feed repeats
    PipeWireDaemon daemon;
    std::string why, error;
    if (!daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
    const std::unique_ptr<VirtualCamera> camera =
        open_pipewire_camera("wobble-test-camera", kW, kH, 30, error);
    ASSERT_NE(camera, nullptr) << error;
    const CameraPicture p = numbered_picture(0, kW, kH);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(camera->feed(p.bytes.data(), p.rowBytes, kW, kH));
    EXPECT_FALSE(camera->consumerConnected());
    EXPECT_EQ(camera->stats().dropped, 5);
    const std::jthread feeder([&](const std::stop_token& stop) {  // until the test ends
        for (int n = 0; !stop.stop_requested(); ++n, std::this_thread::sleep_for(33ms)) {
            const CameraPicture q = numbered_picture(n % kPictures, kW, kH);
            camera->feed(q.bytes.data(), q.rowBytes, kW, kH);
        }
    });
    int consumers = 0;
    for (auto [name, format] : {std::pair{"BGRx", CameraFormat::BGRx},
                                {"YUY2", CameraFormat::YUY2},
                                {"RGBx", CameraFormat::RGBx},
                                {"BGRx", CameraFormat::BGRx}}) {
        SCOPED_TRACE(name);
        CameraConsumer consumer(daemon.dir(), "consumer" + std::to_string(++consumers));
        ASSERT_TRUE(consumer.start("wobble-test-camera", name, 6));
        ASSERT_EQ(consumer.wait(30s), 0) << consumer.log();
        EXPECT_EQ(camera->format(), format);
        EXPECT_NE(consumer.log().find("width=(int)64, height=(int)48, framerate=(fraction)30/1"),
                  std::string::npos)
            << consumer.log();
        // Which fed picture each one received is, converted; -1: none of them.
        const Bytes got = consumer.bytes();
        const size_t size = static_cast<size_t>(camera_stride(format, kW)) * kH;
        ASSERT_EQ(got.size(), 6 * size);
        for (int i = 0, last = -1; i < 6; ++i) {
            int number = -1;
            for (int n = 0; n < kPictures; ++n)
                if (Bytes(got.begin() + i * size, got.begin() + (i + 1) * size) ==
                    converted(numbered_picture(n, kW, kH), format, kW, kH))
                    number = n;
            EXPECT_GE(number, 0) << "picture " << i << " is none of those fed";
            EXPECT_NE(number, last) << "picture " << i << " came twice";
            last = number;
        }
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (camera->consumerConnected() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(camera->consumerConnected());
    }
    EXPECT_GE(camera->stats().sent, 24);
    EXPECT_TRUE(camera->failure().empty());
}

}  // namespace
