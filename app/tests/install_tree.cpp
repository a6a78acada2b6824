// SPDX-License-Identifier: MIT
// `cmake --install` into a fresh prefix: the tree a packager gets, checked by the desktop's own
// validators and by man.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs a shell command; returns its exit status and puts its output (both streams) in out.
int run(const std::string& command, std::string* out = nullptr) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    const int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix() = fs::temp_directory_path() / ("wobblescope-install-" + std::to_string(getpid()));
        fs::remove_all(prefix());
        std::string out;
        const int status = run(std::string("\"") + CMAKE_COMMAND + "\" --install \"" + BUILD_DIR +
                                   "\" --prefix \"" + prefix().string() + "\"",
                               &out);
        ASSERT_EQ(status, 0) << out;
    }
    static void TearDownTestSuite() { fs::remove_all(prefix()); }
    static fs::path& prefix() {
        static fs::path p;
        return p;
    }
    static std::string file(const char* relative) { return (prefix() / relative).string(); }
};

}  // namespace

TEST_F(InstallTree, HoldsTheProgramLauncherIconMetadataAndManualPage) {
    for (const char* f :
         {"bin/wobblescope", "share/applications/org.wobblescope.Wobblescope.desktop",
          "share/metainfo/org.wobblescope.Wobblescope.metainfo.xml",
          "share/icons/hicolor/scalable/apps/org.wobblescope.Wobblescope.svg",
          "share/man/man1/wobblescope.1"}) {
        EXPECT_TRUE(fs::is_regular_file(file(f))) << f;
    }
    const auto perms = fs::status(file("bin/wobblescope")).permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
    // The installed program runs (its render tool needs no display).
    std::string out;
    EXPECT_EQ(run("\"" + file("bin/wobblescope") + "\" --version", &out), 0) << out;
    EXPECT_EQ(out.rfind("wobblescope ", 0), 0u) << out;
}

TEST_F(InstallTree, DesktopFileAndAppStreamDataPassTheirValidators) {
    std::string out;
    EXPECT_EQ(run("desktop-file-validate \"" +
                      file("share/applications/org.wobblescope.Wobblescope.desktop") + "\"",
                  &out),
              0)
        << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
    EXPECT_EQ(run("appstreamcli validate --no-net \"" +
                      file("share/metainfo/org.wobblescope.Wobblescope.metainfo.xml") + "\"",
                  &out),
              0)
        << out;
}

TEST_F(InstallTree, ManualPageRendersWithoutWarningsAndCoversRender) {
    std::string out;
    ASSERT_EQ(run("MANWIDTH=80 MAN_KEEP_STDERR=1 man --warnings -l \"" +
                      file("share/man/man1/wobblescope.1") + "\" | col -b",
                  &out),
              0)
        << out;
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
    EXPECT_NE(out.find("wobblescope render"), std::string::npos) << out;
    EXPECT_NE(out.find("--camera SOURCE"), std::string::npos) << out;
    EXPECT_NE(out.find("Ctrl+S"), std::string::npos) << out;
}
