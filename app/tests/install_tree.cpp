// SPDX-License-Identifier: MIT
// `cmake --install` into a fresh prefix: the tree a packager gets, checked by the desktop's own
// validators and by man.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// Installs, runs the installed program and the validators, each stopping the chain when it fails,
// and renders the manual page; prints what each says.
TEST(InstallTree, HoldsAProgramThatRunsAndFilesThatPassTheirValidators) {
    const std::string prefix = "/tmp/wobblescope-install-" + std::to_string(getpid());
    const std::string share = prefix + "/share/", id = "org.wobblescope.Wobblescope";
    const std::string script = std::string("set -e; '") + CMAKE_COMMAND + "' --install '" +
                               BUILD_DIR + "' --prefix " + prefix + " >/dev/null; " + prefix +
                               "/bin/wobblescope --version; test -f " + share +
                               "icons/hicolor/scalable/apps/" + id +
                               ".svg; desktop-file-validate " + share + "applications/" + id +
                               ".desktop; appstreamcli validate "
                               "--no-net " +
                               share + "metainfo/" + id +
                               ".metainfo.xml >/dev/null; "
                               "MANWIDTH=80 MAN_KEEP_STDERR=1 man --warnings -l " +
                               share + "man/man1/wobblescope.1 | col -b; rm -r " + prefix;
    FILE* p = popen(("(" + script + ") 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_EQ(out.rfind("wobblescope ", 0), 0u) << out;
    for (const char* bad : {"error:", "warning:"}) EXPECT_EQ(out.find(bad), std::string::npos) << out;
    for (const char* topic : {"wobblescope render", "--camera SOURCE", "Ctrl+S"})
        EXPECT_NE(out.find(topic), std::string::npos) << topic;
}
