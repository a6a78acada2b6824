// SPDX-License-Identifier: MIT
// `cmake --install` into a fresh prefix: the tree a packager gets, with a program that runs and
// answers its command line, checked by the desktop's own validators and by man.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

TEST(InstallTree, ProgramAnswersItsCommandLineAndFilesPassTheirValidators) {
    const std::string prefix = "/tmp/wobblescope-install-" + std::to_string(getpid());
    const std::string bin = prefix + "/bin/wobblescope", share = prefix + "/share/";
    const std::string id = "org.wobblescope.Wobblescope";
    // One shell chain that stops at the first command that fails; a usage error ends with 2.
    const std::string commands[] = {
        "trap 'rm -rf " + prefix + "' EXIT",
        std::string("'") + CMAKE_COMMAND + "' --install '" + BUILD_DIR + "' --prefix " + prefix +
            " >/dev/null",
        bin + " --version",
        bin + " --help",
        bin + " render --help",
        bin + " --list-cameras",
        bin + " --frobnicate || test $? = 2",
        bin + " --camera || test $? = 2",
        "test -f " + share + "icons/hicolor/scalable/apps/" + id + ".svg",
        "desktop-file-validate " + share + "applications/" + id + ".desktop",
        "appstreamcli validate --no-net " + share + "metainfo/" + id + ".metainfo.xml >/dev/null",
        "MANWIDTH=80 MAN_KEEP_STDERR=1 man --warnings -l " + share +
            "man/man1/wobblescope.1 | col -b"};
    std::string script = "set -e";
    for (const std::string& command : commands) script += "; " + command;
    FILE* p = popen(("(" + script + ") 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_EQ(out.rfind("wobblescope ", 0), 0u) << out;
    for (const char* bad : {"error:", "warning:"})
        EXPECT_EQ(out.find(bad), std::string::npos) << out;
    // The help, the render tool's help, the camera list, the two usage errors, the manual page.
    for (const char* says :
         {"--camera SOURCE", "Runs every frame of INPUT", "demo", "unknown argument '--frobnicate'",
          "--camera wants a camera source", "Ctrl+S"})
        EXPECT_NE(out.find(says), std::string::npos) << says;
}
