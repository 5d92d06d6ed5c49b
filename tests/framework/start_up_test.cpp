// Start-up: the application object runs on a display, and without one the program says so.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLibraryInfo>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace {

struct ProbeRun {
    int exitCode;
    std::string output;  // standard output and error together
};

ProbeRun RunProbe(const std::string& environment) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                environment + " " START_PROBE " 2>&1";
    ProbeRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 256> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Exit status 1 and one line naming the way out, not the toolkit's abort.
void ExpectNoDisplayLine(const std::string& environment) {
    SCOPED_TRACE(environment.empty() ? "nothing set" : environment);
    const ProbeRun run = RunProbe(environment);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(run.output.find("started"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find("Kein Bildschirm"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("vnc"), std::string::npos) << run.output;
}

TEST(StartUp, WithoutADisplayOneClearLine) {
    ExpectNoDisplayLine("");
    ExpectNoDisplayLine("QT_QPA_PLATFORM=xcb");
    ExpectNoDisplayLine("QT_QPA_PLATFORM=wayland");
}

TEST(StartUp, ADisplayThatDoesNotAnswerCountsAsNone) {
    ExpectNoDisplayLine("DISPLAY=:97");
    ExpectNoDisplayLine("DISPLAY=localhost:97");
    ExpectNoDisplayLine("WAYLAND_DISPLAY=nosuch");
}

TEST(StartUp, TheApplicationObjectRunsAndNamesItselfAfterTheExecutable) {
    const ProbeRun run = RunProbe("QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_NE(run.output.find("started as framework_start_probe"), std::string::npos) << run.output;
}

TEST(StartUp, TheToolkitsStartUpMessagesStillComeOutWhenItStarts) {
    // Held back while the toolkit starts, in case it gives up; passed on once it has not.
    const ProbeRun run = RunProbe("QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.qpa.plugin=true");
    EXPECT_EQ(run.exitCode, 7) << run.output;
    const size_t loaded = run.output.find("qt.qpa.plugin: Successfully loaded");
    EXPECT_NE(loaded, std::string::npos) << run.output;
    EXPECT_LT(loaded, run.output.find("started as")) << run.output;
}

TEST(StartUp, WhatLibrariesBelowTheToolkitWroteComesOutWhenItStarts) {
    // The Wayland client library writes its complaint straight to the error stream; here the
    // toolkit falls back to running without a display, so the complaint must not be lost.
    const bool waylandPlugin =
        QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                          QStringLiteral("/platforms/libqwayland-generic.so"));
    if (!waylandPlugin) GTEST_SKIP() << "Qt's Wayland platform plugin (qt6-wayland) is missing";
    const ProbeRun run = RunProbe("-u XDG_RUNTIME_DIR QT_QPA_PLATFORM='wayland;offscreen'");
    EXPECT_EQ(run.exitCode, 7) << run.output;
    EXPECT_NE(run.output.find("error: XDG_RUNTIME_DIR"), std::string::npos) << run.output;
}

}  // namespace
