// SPDX-License-Identifier: MIT
// `wobblescope render INPUT OUTPUT.mov`: the program itself run on libavfilter sources and raw
// frames, its movies read back with libavformat.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "movie_reader.h"

namespace {

struct RenderRun {
    int status = -1;
    QString err;
};

RenderRun render(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(WOBBLESCOPE_BIN), QStringList{"render", "--quiet"} + args);
    RenderRun r;
    if (!p.waitForFinished(120000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

std::string tag(uint32_t t) {
    return {static_cast<char>(t >> 24), static_cast<char>(t >> 16), static_cast<char>(t >> 8),
            static_cast<char>(t)};
}

const QString kSource = "lavfi:testsrc2=size=128x96:rate=25";

class RenderMovieTest : public ::testing::Test {
protected:
    QString out(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(RenderMovieTest, FramesAreTimedByTheInputIn600ths) {
    const RenderRun r = render({"--frames", "10", kSource, out("a.mov")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const MovieInfo m = read_movie(out("a.mov").toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.videoStreams, 1);
    EXPECT_EQ(m.timeBaseDen, 600);
    EXPECT_EQ(tag(m.codecTag), "jpeg");
    EXPECT_EQ(m.width, 64);  // half size, as at launch
    EXPECT_EQ(m.title, "screenMovie");
    // Ten frames in, the first three draw nothing; 25 frames per second are 24 units each.
    EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 24, 24, 24, 24, 24, 24}));
    EXPECT_FALSE(QFile::exists(out("a.mov.part")));
}

TEST_F(RenderMovieTest, EachCompressorByItsCode) {
    for (const char* codec : {"jpeg", "avc1", "apcn", "rle", "png", "raw"}) {
        SCOPED_TRACE(codec);
        const QString path = out(QString("%1.mov").arg(codec));
        const RenderRun r = render({"--frames", "8", "--codec", codec, kSource, path});
        if (r.status != 0 && r.err.contains("is missing")) continue;  // no such encoder here
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const MovieInfo m = read_movie(path.toStdString());
        ASSERT_EQ(m.error, "");
        std::string want = codec;
        want.resize(4, ' ');
        EXPECT_EQ(tag(m.codecTag), want);
        EXPECT_EQ(m.durations.size(), 5u);
    }
}

TEST_F(RenderMovieTest, LosslessMovieHoldsExactlyTheRenderedPictures) {
    ASSERT_EQ(render({"--frames", "6", "--seed", "7", kSource, out("p.rgb")}).status, 0);
    const RenderRun r = render({"--frames", "6", "--seed", "7", "--codec", "png", kSource, out("p.mov")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QFile rgbFile(out("p.rgb"));
    ASSERT_TRUE(rgbFile.open(QIODevice::ReadOnly));
    const QByteArray all = rgbFile.readAll();
    const size_t picture = 64 * 48 * 3;
    ASSERT_EQ(static_cast<size_t>(all.size()), 3 * picture);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        std::string error;
        ASSERT_TRUE(decode_movie_frame(out("p.mov").toStdString(), i, rgb, w, h, error)) << error;
        const std::vector<uint8_t> want(all.begin() + i * picture, all.begin() + (i + 1) * picture);
        EXPECT_TRUE(rgb == want) << "picture " << i;
    }
}

TEST_F(RenderMovieTest, RawFramesWithoutTimesLast40Units) {
    QFile raw(out("in.argb"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    QByteArray frame(16 * 8 * 4, '\x80');
    for (int i = 0; i < 6; ++i) raw.write(frame);
    raw.close();
    const RenderRun r = render({"--raw-size", "16x8", "--codec", "raw", out("in.argb"), out("r.mov")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read_movie(out("r.mov").toStdString()).durations,
              (std::vector<int64_t>{40, 40, 40}));
}

TEST_F(RenderMovieTest, BadOptionsAreRefusedAndLeaveNoFile) {
    struct Case {
        QStringList args;
        const char* message;
    };
    const QString mov = out("bad.mov");
    for (const Case& c : {
             Case{{"--codec", "cvid", kSource, mov}, "unknown compressor 'cvid'"},
             Case{{"--quality", "superb", kSource, mov}, "unknown quality 'superb'"},
             Case{{"--quality", "lossless", kSource, mov}, "has no lossless quality"},
             Case{{"--codec", "png", kSource, out("bad.rgb")}, "apply to movie outputs only"},
             Case{{kSource, out("missing/bad.mov")}, "cannot create"},
         }) {
        SCOPED_TRACE(c.message);
        const RenderRun r = render(QStringList{"--frames", "5"} + c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(mov));
        EXPECT_FALSE(QFile::exists(mov + ".part"));
    }
}

TEST_F(RenderMovieTest, AnInputWithoutPicturesWritesNoMovieAndKeepsTheOldFile) {
    QFile old(out("keep.mov"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old movie");
    old.close();
    const RenderRun r = render({"--frames", "2", kSource, out("keep.mov")});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains("no picture was drawn")) << r.err.toStdString();
    QFile kept(out("keep.mov"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old movie");
    EXPECT_FALSE(QFile::exists(out("keep.mov.part")));
}
