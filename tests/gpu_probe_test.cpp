#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "core/runner.h"
#include "discovery/gpu.h"

namespace {

namespace fs = std::filesystem;

const fs::path TOOL = fs::path(QUOR_STAGED_PORT) / "launcher" / "orn-gpu-capabilities";

// A sanitizer build of the probe loads uninstrumented Vulkan drivers; their
// leaks and threads are not ours to judge.
const std::vector<std::string> QUIET = {"env", "ASAN_OPTIONS=detect_leaks=0", "TSAN_OPTIONS=report_bugs=0"};

bool any_icd() {
    for (const char* dir : {"/usr/share/vulkan/icd.d", "/etc/vulkan/icd.d", "/usr/local/share/vulkan/icd.d"}) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().extension() == ".json") return true;
    }
    return false;
}

TEST(GpuProbe, NamesAVulkan13Device) {
    ASSERT_TRUE(fs::is_regular_file(TOOL)) << TOOL;
    std::vector<std::string> argv = QUIET;
    argv.insert(argv.end(), {TOOL.string(), "--live-resolution"});
    RunResult r = run_capture(argv, "");
    if (r.code != 0 && !any_icd()) GTEST_SKIP() << "no Vulkan driver on this machine: " << r.output;
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.rfind("GPU: ", 0), 0u) << r.output;
    EXPECT_NE(r.output.find(", Vulkan 1."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(": live "), std::string::npos) << r.output;
    GpuResult g = parse_gpu_output(r.output, r.code);
    EXPECT_EQ(g.state, 1);
    EXPECT_FALSE(g.name.empty());
    EXPECT_EQ(g.name.find(": live"), std::string::npos);
}

TEST(GpuProbe, NoDeviceExitsNonZero) {
    std::vector<std::string> argv = QUIET;
    argv.insert(argv.end(), {"VK_DRIVER_FILES=/nonexistent.json", "VK_ICD_FILENAMES=/nonexistent.json",
                             TOOL.string(), "--live-resolution"});
    RunResult r = run_capture(argv, "");
    EXPECT_GT(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find("GPU: "), std::string::npos) << r.output;
    EXPECT_FALSE(r.output.empty()) << "the probe says why";
    EXPECT_EQ(parse_gpu_output(r.output, r.code).state, 2);
}

TEST(GpuProbe, CardLineSurvivesADriverCrashAtTeardown) {
    fs::path fake = fs::path(QUOR_BINARY_DIR) / "fake-vulkan";
    ASSERT_TRUE(fs::is_regular_file(fake / "libvulkan.so.1"));
    std::vector<std::string> argv = QUIET;
    argv.insert(argv.end(), {"LD_LIBRARY_PATH=" + fake.string(), TOOL.string(), "--live-resolution"});
    RunResult r = run_capture(argv, "");
    EXPECT_EQ(r.code, 128 + SIGABRT) << r.output;
    GpuResult g = parse_gpu_output(r.output, r.code);
    EXPECT_EQ(g.name, "Fake Crashing GPU") << r.output;
    EXPECT_EQ(g.state, 1);
}

TEST(GpuProbe, NoLoaderExitsNonZero) {
    // Hide the loader in a private mount namespace: the probe must explain
    // itself instead of failing to start.
    const char* loader = "/usr/lib/x86_64-linux-gnu/libvulkan.so.1";
    if (!fs::exists(loader)) GTEST_SKIP() << "no loader installed at " << loader;
    RunResult probe = run_capture({"unshare", "-m", "mount", "--bind", "/dev/null", loader}, "");
    if (probe.code != 0) GTEST_SKIP() << "mount namespaces are not available here";
    std::string script = std::string("mount --bind /dev/null ") + loader + " && exec \"$0\" --live-resolution";
    std::vector<std::string> argv = QUIET;
    argv.insert(argv.end(), {"unshare", "-m", "sh", "-c", script, TOOL.string()});
    RunResult r = run_capture(argv, "");
    EXPECT_GT(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("loader"), std::string::npos) << r.output;
    EXPECT_EQ(parse_gpu_output(r.output, r.code).state, 2);
}

}  // namespace
