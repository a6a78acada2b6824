// SPDX-License-Identifier: MIT
// `cmake --install` into a fresh prefix: the tree a packager gets, checked by the desktop's own
// validators and by man.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs a shell command; returns its exit status and puts its output (both streams) in out.
int run(const std::string& command, std::string& out) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    out.clear();
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(InstallTree, HoldsAProgramThatRunsAndFilesThatPassTheirValidators) {
    const fs::path prefix =
        fs::temp_directory_path() / ("wobblescope-install-" + std::to_string(getpid()));
    const auto file = [&](const char* relative) {
        return "\"" + (prefix / relative).string() + "\"";
    };
    std::string out;
    ASSERT_EQ(run(std::string("\"") + CMAKE_COMMAND + "\" --install \"" + BUILD_DIR +
                      "\" --prefix " + file(""),
                  out),
              0)
        << out;
    EXPECT_EQ(run(file("bin/wobblescope") + " --version", out), 0) << out;
    EXPECT_EQ(out.rfind("wobblescope ", 0), 0u) << out;
    EXPECT_TRUE(fs::is_regular_file(
        prefix / "share/icons/hicolor/scalable/apps/org.wobblescope.Wobblescope.svg"));
    EXPECT_EQ(run("desktop-file-validate " +
                      file("share/applications/org.wobblescope.Wobblescope.desktop"),
                  out),
              0)
        << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
    EXPECT_EQ(run("appstreamcli validate --no-net " +
                      file("share/metainfo/org.wobblescope.Wobblescope.metainfo.xml"),
                  out),
              0)
        << out;
    EXPECT_EQ(run("MANWIDTH=80 MAN_KEEP_STDERR=1 man --warnings -l " +
                      file("share/man/man1/wobblescope.1") + " | col -b",
                  out),
              0)
        << out;
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
    for (const char* topic : {"wobblescope render", "--camera SOURCE", "Ctrl+S"})
        EXPECT_NE(out.find(topic), std::string::npos) << topic;
    fs::remove_all(prefix);
}

}  // namespace
