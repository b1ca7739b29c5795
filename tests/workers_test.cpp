#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "discovery/eboot_check.h"
#include "discovery/folder.h"
#include "discovery/folder_list.h"
#include "discovery/gpu.h"
#include "discovery/scan.h"
#include "discovery/shared.h"
#include "support/testing.h"
#include "core/toast.h"

namespace {

using namespace std::chrono_literals;

template <class T>
T locked(T Shared::*field) {
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    return g_shared.*field;
}

void make_dump(const fs::path& dir) { write_file(dir / "eboot.bin", "good build"); }
void make_sound(const fs::path& dir) {
    write_file(dir / "libSceNgs2.sprx", "n");
    write_file(dir / "libSceUlt.sprx", "u");
}

class Workers : public ::testing::Test {
protected:
    TempDir port, tmp;
    void SetUp() override {
        g_port = port.path();
        g_exe_dir = port / "launcher";
        g_pt = false;
        reset_settings();
        g_toast.clear();
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.eboot_key.clear();
        g_shared.eboot_state = -1;
        g_shared.scan_done = false;
        g_shared.scan_manual = false;
        g_shared.found_games.clear();
        g_shared.found_sys_modules.clear();
        g_shared.found_saves.clear();
        g_shared.found_dlc.clear();
        g_shared.picks.clear();
    }
    void TearDown() override {
        // Leave no worker behind that could write into the next test's record.
        EXPECT_TRUE(wait_until([] { return !locked(&Shared::scan_busy); }, 60));
        EXPECT_TRUE(wait_until([] { return !locked(&Shared::eboot_busy); }, 60));
    }
};

// ---- executable check --------------------------------------------------------

TEST(EbootOutput, Classification) {
    EXPECT_EQ(classify_eboot_output("SUPPORTED\n"), 1);
    EXPECT_EQ(classify_eboot_output("OTHER\n"), 0);
    EXPECT_EQ(classify_eboot_output("UNREADABLE\n"), -2);
    EXPECT_EQ(classify_eboot_output(""), -2);
    EXPECT_EQ(classify_eboot_output("OTHER\nSUPPORTED\n"), 1);
    EXPECT_EQ(classify_eboot_output("Traceback ...\nModuleNotFoundError: No module named 'prepare'\n"), -2);
    EXPECT_EQ(classify_eboot_output("SUPPORTED\r\n"), 1);
    EXPECT_EQ(classify_eboot_output("warning: slow disk\nOTHER"), 0) << "a last line without a line feed";
    // Only a line that is the word answers: tracebacks quote paths and, in
    // newer Pythons, the -c script's own source line.
    EXPECT_EQ(classify_eboot_output("Traceback (most recent call last):\n"
                                    "  File \"/home/OTHER/port/scripts/prepare.py\", line 9, in parse_self\n"
                                    "KeyError: 0\n"),
              -2);
    EXPECT_EQ(classify_eboot_output("  File \"<string>\", line 8, in <module>\n"
                                    "    print('SUPPORTED' if is_supported(elf, ph) else 'OTHER')\n"
                                    "KeyError: 'SUPPORTED'\n"),
              -2);
    EXPECT_EQ(classify_eboot_output("SUPPORTED \n OTHER\n"), -2);
}

TEST(EbootOutput, ScriptIsTheEightLineCheck) {
    std::string s = EBOOT_CHECK_SCRIPT;
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 8);
    EXPECT_EQ(s.find('\r'), std::string::npos);
    EXPECT_NE(s.find("\n    elf, _h, ph, _s, _m = parse_self(open(sys.argv[2], 'rb').read())\n"), std::string::npos);
    EXPECT_NE(s.find("\n    print('UNREADABLE'); raise SystemExit\n"), std::string::npos);
}

TEST_F(Workers, CheckKeyFollowsTheFileIdentity) {
    fs::path dump = tmp / "dump";
    EXPECT_EQ(eboot_check_key(dump.string()), "");
    fs::create_directories(dump / "eboot.bin");
    EXPECT_EQ(eboot_check_key(dump.string()), "") << "a directory named eboot.bin is not checked";
    fs::remove(dump / "eboot.bin");
    write_file(dump / "eboot.bin", "12345");
    std::string k1 = eboot_check_key(dump.string());
    EXPECT_EQ(k1.rfind(dump.string() + "|5|", 0), 0u) << k1;
    std::error_code ec;
    fs::last_write_time(dump / "eboot.bin", fs::last_write_time(dump / "eboot.bin") - 10s, ec);
    std::string k2 = eboot_check_key(dump.string());
    EXPECT_NE(k1, k2);
    EXPECT_EQ(eboot_check_key(dump.string()), k2);
}

// Port modules that answer from the executable's first bytes, slowly.
void write_fake_check_modules(const fs::path& port) {
    write_file(port / "scripts" / "prepare.py", R"(import os, time
def parse_self(data):
    open(os.path.join(os.path.dirname(__file__), 'seen-' + data[:5].decode()), 'w').close()
    time.sleep(2.0 if data.startswith(b'slow') else 0.1)
    if data.startswith(b'junk'):
        raise ValueError('not an executable')
    return (data, None, None, None, None)
)");
    write_file(port / "scripts" / "quor_modes.py", R"(def is_supported(elf, ph):
    if elf.startswith(b'crash'):
        raise RuntimeError('SUPPORTED?')
    return b'good' in elf
)");
}

TEST_F(Workers, CheckReportsTheThreeAnswers) {
    write_fake_check_modules(port.path());
    fs::path dump = tmp / "dump";
    struct Case { const char* content; int state; } cases[] = {
        {"good build", 1}, {"other build", 0}, {"junk", -2}, {"crash in a good build", -2}};
    for (const auto& c : cases) {
        write_file(dump / "eboot.bin", c.content);
        check_eboot(dump.string());
        EXPECT_EQ(locked(&Shared::eboot_state), -1);
        EXPECT_TRUE(wait_until([] { return locked(&Shared::eboot_state) != -1; }, 60)) << c.content;
        EXPECT_EQ(locked(&Shared::eboot_state), c.state) << c.content;
    }
    // Unchanged file: no new check, the answer stays.
    check_eboot(dump.string());
    EXPECT_EQ(locked(&Shared::eboot_state), -2);
}

TEST_F(Workers, CheckWithoutThePortModulesIsUnreadable) {
    fs::path dump = tmp / "dump";
    make_dump(dump);
    check_eboot(dump.string());
    EXPECT_TRUE(wait_until([] { return locked(&Shared::eboot_state) != -1; }, 60));
    EXPECT_EQ(locked(&Shared::eboot_state), -2);
}

TEST_F(Workers, StaleCheckResultIsDropped) {
    write_fake_check_modules(port.path());
    fs::path dump = tmp / "dump";
    write_file(dump / "eboot.bin", "other build");   // answers 0 after 0.1 s
    check_eboot(dump.string());
    ASSERT_TRUE(wait_until([&] { return fs::exists(port / "scripts" / "seen-other"); }, 60));
    write_file(dump / "eboot.bin", "slow good build");   // new size: a new check, answers 1 after 2 s
    check_eboot(dump.string());
    std::string current = eboot_check_key(dump.string());
    EXPECT_EQ(locked(&Shared::eboot_key), current);

    std::this_thread::sleep_for(1200ms);   // the first check has answered by now
    EXPECT_EQ(locked(&Shared::eboot_state), -1) << "the answer for the replaced eboot.bin must not show";
    EXPECT_TRUE(wait_until([] { return locked(&Shared::eboot_state) != -1; }, 60));
    EXPECT_EQ(locked(&Shared::eboot_state), 1);
}

TEST_F(Workers, ChangingEbootIsCheckedOneAtATime) {
    // Each check notes whether another one was running and which size it read.
    write_file(port / "scripts" / "prepare.py", R"(import os, time
def parse_self(data):
    d = os.path.dirname(__file__)
    try:
        fd = os.open(os.path.join(d, 'running'), os.O_CREAT | os.O_EXCL)
    except FileExistsError:
        open(os.path.join(d, 'overlap'), 'w').close()
        fd = None
    time.sleep(0.2)
    with open(os.path.join(d, 'sizes'), 'a') as f:
        f.write('%d\n' % len(data))
    if fd is not None:
        os.close(fd)
        os.unlink(os.path.join(d, 'running'))
    return (data, None, None, None, None)
)");
    write_file(port / "scripts" / "quor_modes.py", "def is_supported(elf, ph):\n    return elf.endswith(b'end')\n");
    fs::path dump = tmp / "dump";
    write_file(dump / "eboot.bin", "");
    // A copy in progress: the file grows between frames.
    for (int frame = 0; frame < 150; ++frame) {
        {
            std::ofstream out(dump / "eboot.bin", std::ios::binary | std::ios::app);
            out << std::string(1000, 'x');
        }
        check_eboot(dump.string());
        std::this_thread::sleep_for(10ms);
    }
    { std::ofstream(dump / "eboot.bin", std::ios::binary | std::ios::app) << "end"; }
    ASSERT_TRUE(wait_until([&] {
        check_eboot(dump.string());
        return locked(&Shared::eboot_state) != -1;
    }, 60));
    EXPECT_EQ(locked(&Shared::eboot_state), 1) << "the answer is the finished file's";
    EXPECT_FALSE(fs::exists(port / "scripts" / "overlap")) << "two checks ran at once";
    std::string sizes = read_text(port / "scripts" / "sizes");
    size_t checks = std::count(sizes.begin(), sizes.end(), '\n');
    EXPECT_GE(checks, 2u) << "the file changed during the first check";
    EXPECT_LT(checks, 40u) << sizes;
    EXPECT_TRUE(sizes.size() >= 7 && sizes.compare(sizes.size() - 7, 7, "150003\n") == 0) << sizes;
}

// ---- PC scan --------------------------------------------------------------------

TEST(ScanOutput, TaggedLines) {
    ScanResults r = parse_scan_output("GAME\t/a\nGAME\t/b\nDLC\t/x\nDLC\t/y\n");
    EXPECT_EQ(r.games, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(r.dlc, "/y");

    r = parse_scan_output("warning: slow disk\nGAME /no-tab\ngame\t/lower\n\nSYS\t/s\tx\r\nSAVE\t/sv\nBOGUS\t/q\nSAVE\t");
    EXPECT_TRUE(r.games.empty());
    EXPECT_EQ(r.sys_modules, std::vector<std::string>{"/s\tx\r"});
    EXPECT_EQ(r.saves, (std::vector<std::string>{"/sv", ""}));
    EXPECT_EQ(r.dlc, "");
}

TEST(ScanOutput, ScriptShape) {
    std::string s = SCAN_SCRIPT;
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 15);
    EXPECT_NE(s.find(std::string("h/'.var/app/") + SHADPS4_FLATPAK_ID + "/data/shadPS4',\n"), std::string::npos);
    EXPECT_NE(s.find("\n         h/'.config/shadPS4'"), std::string::npos);
    EXPECT_NE(s.find("print('GAME\\t' + str(g['path']))"), std::string::npos);
}

void write_fake_discovery(const fs::path& port, double delay) {
    write_file(port / "scripts" / "quor_discovery.py", "import time\nDELAY = " + std::to_string(delay) + R"(
def local_drives():
    raise RuntimeError('the launcher replaces this')
def scan(seconds, depth, extra_roots):
    assert local_drives() == [] and seconds == 20.0 and depth == 5
    time.sleep(DELAY)
    return {'games': [{'path': '/g/one'}, {'path': '/g/two'}], 'sys_modules': ['/mods'], 'saves': ['/saves']}
def find_dlc_root(path):
    return path + '-dlc'
)");
    // The scripts folder comes first on the module path.
    write_file(port / "launcher" / "quor_discovery.py", "raise ImportError('wrong folder')\n");
}

TEST_F(Workers, ScanWorkerPublishesTheModuleResults) {
    write_fake_discovery(port.path(), 0);
    start_scan(true);
    EXPECT_TRUE(locked(&Shared::scan_busy));
    ASSERT_TRUE(wait_until([] { return locked(&Shared::scan_done); }, 60));
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    EXPECT_FALSE(g_shared.scan_busy);
    EXPECT_TRUE(g_shared.scan_manual);
    EXPECT_EQ(g_shared.found_games, (std::vector<std::string>{"/g/one", "/g/two"}));
    EXPECT_EQ(g_shared.found_sys_modules, std::vector<std::string>{"/mods"});
    EXPECT_EQ(g_shared.found_saves, std::vector<std::string>{"/saves"});
    EXPECT_EQ(g_shared.found_dlc, "/g/one-dlc");
}

TEST_F(Workers, ManualRequestDuringTheAutomaticScanIsDropped) {
    write_fake_discovery(port.path(), 1.0);
    start_scan(false);
    start_scan(true);
    EXPECT_FALSE(locked(&Shared::scan_manual));
    ASSERT_TRUE(wait_until([] { return locked(&Shared::scan_done); }, 60));
    S.set("game_dir", (tmp / "mine").string());
    make_dump(tmp / "mine");
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        apply_scan_results();
        EXPECT_FALSE(g_shared.scan_done);
        EXPECT_EQ(g_shared.found_saves, std::vector<std::string>{"/saves"}) << "kept for the save import";
    }
    EXPECT_EQ(S.get("game_dir"), (tmp / "mine").string()) << "an automatic scan keeps a valid folder";
    EXPECT_EQ(S.get("sys_modules"), "/mods");
}

TEST_F(Workers, ManualRequestAcceptedBeforeTheDrainKeepsAutomaticRules) {
    write_fake_discovery(port.path(), 0);
    start_scan(false);
    ASSERT_TRUE(wait_until([] { return locked(&Shared::scan_done); }, 60));
    S.set("game_dir", (tmp / "mine").string());
    make_dump(tmp / "mine");
    // Same frame: the player asks for a search before the drain applies the
    // automatic one's results.
    start_scan(true);
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        apply_scan_results();
    }
    EXPECT_EQ(S.get("game_dir"), (tmp / "mine").string()) << "automatic results with manual rules";
    ASSERT_TRUE(wait_until([] { return locked(&Shared::scan_done); }, 60));
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        apply_scan_results();
    }
    EXPECT_EQ(S.get("game_dir"), "/g/one") << "the manual search's own results replace it";
}

TEST_F(Workers, ScanWithoutTheModulePublishesNothingFound) {
    start_scan(true);
    ASSERT_TRUE(wait_until([] { return locked(&Shared::scan_done); }, 60));
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    EXPECT_TRUE(g_shared.found_games.empty());
    apply_scan_results();
    EXPECT_EQ(g_toast, "Nothing found. Choose the game folder by hand.");
}

class ApplyScan : public Workers {
protected:
    void publish(bool manual, std::vector<std::string> games, std::vector<std::string> mods, std::string dlc) {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.scan_manual = manual;
        g_shared.scan_done = true;
        g_shared.found_games = std::move(games);
        g_shared.found_sys_modules = std::move(mods);
        g_shared.found_dlc = std::move(dlc);
        apply_scan_results();
        EXPECT_FALSE(g_shared.scan_done);
    }
};

TEST_F(ApplyScan, ManualScanReplacesAValidGameFolder) {
    fs::path mine = tmp / "mine", found = tmp / "found";
    make_dump(mine);
    make_dump(found);
    S.set("game_dir", mine.string());
    publish(true, {found.string(), "/other"}, {}, "");
    EXPECT_EQ(S.get("game_dir"), found.string());
    EXPECT_EQ(S.get("setup_done"), "1");
    EXPECT_TRUE(g_dirty);
    EXPECT_EQ(g_toast, "Game found: " + found.string());
    EXPECT_NEAR(g_toast_until - now_seconds(), 7.0, 0.5);
}

TEST_F(ApplyScan, AutomaticScanFillsOnlyWhatIsMissing) {
    fs::path mine = tmp / "mine", mods = tmp / "mods";
    make_dump(mine);
    make_sound(mods);
    S.set("game_dir", mine.string());
    S.set("sys_modules", mods.string());
    S.set("dlc_dir", "/my-dlc");
    publish(false, {"/found"}, {"/found-mods"}, "/found-dlc");
    EXPECT_EQ(S.get("game_dir"), mine.string());
    EXPECT_EQ(S.get("sys_modules"), mods.string());
    EXPECT_EQ(S.get("dlc_dir"), "/my-dlc");
    EXPECT_EQ(S.get("setup_done"), "0");
    EXPECT_FALSE(g_dirty);
    EXPECT_EQ(g_toast, "") << "an automatic scan that applied nothing stays silent";
}

TEST_F(ApplyScan, ManualScanReplacesReadySoundModulesButNeverTheDlc) {
    fs::path mods = tmp / "mods";
    make_sound(mods);
    S.set("sys_modules", mods.string());
    S.set("dlc_dir", "/my-dlc");
    publish(true, {}, {"/found-mods", "/second"}, "/found-dlc");
    EXPECT_EQ(S.get("sys_modules"), "/found-mods");
    EXPECT_EQ(S.get("dlc_dir"), "/my-dlc");
    EXPECT_EQ(g_toast, "Sound modules found.");
}

TEST_F(ApplyScan, SoundOnlyFindReportsTheValidGameFolder) {
    fs::path mine = tmp / "mine";
    make_dump(mine);
    S.set("game_dir", mine.string());
    publish(false, {}, {"/found-mods"}, "");
    EXPECT_EQ(S.get("sys_modules"), "/found-mods");
    EXPECT_EQ(g_toast, "Game found: " + mine.string());
}

TEST_F(ApplyScan, DlcOnlyIsStoredAndSaved) {
    publish(false, {}, {}, "/found-dlc");
    EXPECT_EQ(S.get("dlc_dir"), "/found-dlc");
    EXPECT_TRUE(g_dirty);
    EXPECT_EQ(g_toast, "");
}

TEST_F(ApplyScan, NothingFoundToastsOnlyForManualScans) {
    publish(false, {}, {}, "");
    EXPECT_EQ(g_toast, "");
    g_pt = true;
    publish(true, {}, {}, "");
    EXPECT_EQ(g_toast, "Nada encontrado. Escolha a pasta do jogo à mão.");
    EXPECT_NEAR(g_toast_until - now_seconds(), 5.0, 0.5);
    EXPECT_FALSE(g_dirty);
}

TEST_F(ApplyScan, InvalidFoundGameIsStoredWithoutTheGameToast) {
    publish(false, {"/not/a/dump"}, {}, "");
    EXPECT_EQ(S.get("game_dir"), "/not/a/dump");
    EXPECT_EQ(S.get("setup_done"), "1");
    EXPECT_TRUE(g_dirty);
    EXPECT_EQ(g_toast, "");
}

TEST_F(Workers, SoundReadyNeedsBothModulesAsFiles) {
    fs::path mods = tmp / "mods";
    EXPECT_FALSE(sound_ready());
    S.set("sys_modules", mods.string());
    write_file(mods / "libSceUlt.sprx", "u");
    fs::create_directories(mods / "libSceNgs2.sprx");
    EXPECT_FALSE(sound_ready());
    fs::remove(mods / "libSceNgs2.sprx");
    write_file(mods / "libSceNgs2.sprx", "n");
    EXPECT_TRUE(sound_ready());
    fs::create_symlink(mods, tmp / "link");
    S.set("sys_modules", (tmp / "link").string());
    EXPECT_TRUE(sound_ready());
}

// ---- GPU check ------------------------------------------------------------------

TEST(GpuOutput, CardLine) {
    GpuResult r = parse_gpu_output("GPU: Card X, part A, part B: live 1280x800\n", 0);
    EXPECT_EQ(r.name, "Card X");
    EXPECT_EQ(r.state, 1);
    EXPECT_EQ(parse_gpu_output("GPU: A, B", 0).name, "A");
    EXPECT_EQ(parse_gpu_output("GPU: A, B, C, D: live x: live y\n", 0).name, "A, B");
    r = parse_gpu_output("GPU:Card\nnoise\nGPU: Real, drv, Vulkan 1.3.2: live 1x1\n", 1);
    EXPECT_EQ(r.name, "Real");
    EXPECT_EQ(r.state, 1) << "a name wins over the exit code";
}

TEST(GpuOutput, NoCardFollowsTheExitCode) {
    EXPECT_EQ(parse_gpu_output("GPU: \nGPU: Late\n", 0).state, 3);
    EXPECT_EQ(parse_gpu_output("GPU: \n", 4).state, 2);
    EXPECT_EQ(parse_gpu_output("no device\n", 0).state, 3);
    EXPECT_EQ(parse_gpu_output("no device\n", 1).state, 2);
    EXPECT_EQ(parse_gpu_output("", -1).state, 2);
    EXPECT_EQ(parse_gpu_output("GPU:\n", 0).name, "");
}

TEST_F(Workers, ProbeToolMissingOrFailing) {
    EXPECT_EQ(probe_gpu(tmp / "orn-gpu-capabilities").state, 3);
    fs::create_directories(tmp / "dir-tool");
    EXPECT_EQ(probe_gpu(tmp / "dir-tool").state, 3);

    fs::path tool = tmp / "orn-gpu-capabilities";
    write_file(tool, "#!/bin/sh\necho \"args: $*\"\necho 'GPU: Fake GPU, fakedrv, Vulkan 1.3.0: live 800x600'\nexit 7\n");
    fs::permissions(tool, fs::perms::owner_all);
    GpuResult r = probe_gpu(tool);
    EXPECT_EQ(r.name, "Fake GPU");
    EXPECT_EQ(r.state, 1);
    write_file(tool, "#!/bin/sh\necho 'no Vulkan 1.3 device'\nexit 1\n");
    EXPECT_EQ(probe_gpu(tool).state, 2);
    fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(probe_gpu(tool).state, 2) << "a tool that cannot be started";
}

TEST_F(Workers, DetectGpuWithoutTheToolIsNotChecked) {
    fs::create_directories(g_exe_dir);
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.gpu_state = 0;
        g_shared.gpu_name = "stale";
    }
    detect_gpu();
    EXPECT_TRUE(wait_until([] { return locked(&Shared::gpu_state) != 0; }, 30));
    EXPECT_EQ(locked(&Shared::gpu_state), 3);
    EXPECT_EQ(locked(&Shared::gpu_name), "");
}

TEST_F(Workers, DetectGpuRunsTheToolBesideTheLauncher) {
    fs::path tool = g_exe_dir / "orn-gpu-capabilities";
    write_file(tool, "#!/bin/sh\n[ \"$1\" = --live-resolution ] || exit 9\necho 'GPU: Beside, drv, Vulkan 1.3.0: live 1x1'\n");
    fs::permissions(tool, fs::perms::owner_all);
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.gpu_state = 0;
    }
    detect_gpu();
    EXPECT_TRUE(wait_until([] { return locked(&Shared::gpu_state) != 0; }, 30));
    EXPECT_EQ(locked(&Shared::gpu_state), 1);
    EXPECT_EQ(locked(&Shared::gpu_name), "Beside");
}

// ---- folder choice ----------------------------------------------------------------

TEST_F(Workers, FolderPicksAreAppliedInOrderWithTheirChecks) {
    fs::path bad = tmp / "bad", dump = tmp / "dump", half = tmp / "half";
    fs::create_directories(bad);
    make_dump(dump);
    write_file(half / "libSceNgs2.sprx", "n");
    static const char* const cancelled[] = {nullptr};
    static const char* const zenity_cancel[] = {"", nullptr};
    std::thread dialog([&] {
        std::string b = bad.string(), d = dump.string(), h = half.string(), x = "/extra";
        const char* pick1[] = {b.c_str(), nullptr};
        const char* pick2[] = {d.c_str(), x.c_str(), nullptr};
        const char* pick3[] = {h.c_str(), nullptr};
        const char* pick4[] = {"/dlc", nullptr};
        folder_picked(const_cast<char*>("game_dir"), pick1, 0);
        folder_picked(const_cast<char*>("game_dir"), pick2, 0);
        folder_picked(const_cast<char*>("sys_modules"), nullptr, -1);   // error
        folder_picked(const_cast<char*>("sys_modules"), cancelled, 0);  // cancel
        folder_picked(const_cast<char*>("sys_modules"), zenity_cancel, 0);
        folder_picked(const_cast<char*>("sys_modules"), pick3, 0);
        folder_picked(const_cast<char*>("dlc_dir"), pick4, 0);
    });
    dialog.join();
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        ASSERT_EQ(g_shared.picks.size(), 4u) << "zenity's cancel (one empty path) is no pick";
        EXPECT_EQ(g_shared.picks[1].path, dump.string()) << "only the first chosen path";
        apply_folder_picks();
        EXPECT_TRUE(g_shared.picks.empty());
    }
    EXPECT_EQ(S.get("game_dir"), dump.string()) << "the later answer wins";
    EXPECT_EQ(S.get("setup_done"), "1");
    EXPECT_EQ(S.get("sys_modules"), half.string()) << "stored even when unusable";
    EXPECT_EQ(S.get("dlc_dir"), "/dlc");
    EXPECT_TRUE(g_dirty);
    EXPECT_EQ(g_toast, "libSceNgs2.sprx and libSceUlt.sprx are not in that folder.");
}

TEST_F(Workers, GameFolderWithoutEbootKeepsSetupOpen) {
    g_pt = true;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.picks.push_back({"game_dir", (tmp / "empty").string()});
        apply_folder_picks();
    }
    EXPECT_EQ(S.get("game_dir"), (tmp / "empty").string());
    EXPECT_EQ(S.get("setup_done"), "0");
    EXPECT_EQ(g_toast, "Não há eboot.bin nessa pasta. Escolha a pasta do dump (CUSA00000).");
    EXPECT_NEAR(g_toast_until - now_seconds(), 5.0, 0.5);

    g_toast.clear();
    make_sound(tmp / "mods");
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.picks.push_back({"sys_modules", (tmp / "mods").string()});
        apply_folder_picks();
    }
    EXPECT_EQ(g_toast, "") << "a folder with both modules shows nothing";

    // A name with a line break would become further lines of launcher.ini.
    g_dirty = false;
    for (const char* evil : {"/x\nkey.move_up=Up\ngame_dir=/evil", "/x\rgame_dir=/evil"}) {
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            g_shared.picks.push_back({"game_dir", evil});
            apply_folder_picks();
        }
        EXPECT_EQ(S.get("game_dir"), (tmp / "empty").string());
        EXPECT_FALSE(g_dirty);
        EXPECT_EQ(g_toast, "O nome dessa pasta tem uma quebra de linha. Renomeie a pasta e escolha de novo.");
    }
}

}  // namespace

// ---- the launcher's folder browser: listing, marks, places ----------------------

namespace {

FolderView list_all(const fs::path& dir, bool places = false, PlaceQuery q = {}) {
    auto listing = start_listing(dir.string(), places, std::move(q));
    FolderView v;
    EXPECT_TRUE(wait_until([&] { take_listing(*listing, v); return v.done; }, 60)) << dir;
    return v;
}

std::vector<std::string> names(const FolderView& v) {
    std::vector<std::string> out;
    for (const FolderEntry& e : v.entries) out.push_back(e.name);
    return out;
}

}  // namespace

TEST_F(Workers, FolderListingSortsMarksAndPutsHiddenFoldersLast) {
    fs::path d = tmp / "games";
    make_dump(d / "dump");
    make_sound(d / "mods");
    write_file(d / "half/libSceNgs2.sprx", "n");
    write_file(d / "file.txt", "not a folder");
    for (const char* sub : {"b", "A", ".hidden", "Zed"}) fs::create_directories(d / sub);
    fs::create_directory_symlink(d / "mods", d / "link");
    fs::create_directory_symlink(d / "gone", d / "broken");
    make_dump(d);
    FolderView v = list_all(d);
    EXPECT_EQ(names(v), (std::vector<std::string>{"A", "b", "dump", "half", "link", "mods", "Zed", ".hidden"}));
    std::map<std::string, uint8_t> marks;
    for (const FolderEntry& e : v.entries) marks[e.name] = e.id < v.marks.size() ? v.marks[e.id] : 0;
    EXPECT_EQ(marks["dump"], MARK_DUMP);
    EXPECT_EQ(marks["mods"], MARK_SOUND);
    EXPECT_EQ(marks["link"], MARK_SOUND) << "a link to a folder is that folder";
    EXPECT_EQ(marks["half"], 0) << "one module is not enough";
    EXPECT_EQ(marks["A"], 0);
    EXPECT_EQ(v.self_marks, MARK_DUMP);
    EXPECT_EQ(v.error, 0);

    FolderView gone = list_all(tmp / "nowhere");
    EXPECT_EQ(gone.error, ENOENT);
    EXPECT_TRUE(gone.entries.empty());
}

TEST_F(Workers, TwentyThousandFoldersShowBeforeTheListingIsDone) {
    fs::path d = tmp / "many";
    fs::create_directories(d);
    for (int i = 0; i < 20000; ++i) fs::create_directory(d / ("f" + std::to_string(i)));
    auto t0 = std::chrono::steady_clock::now();
    auto listing = start_listing(d.string(), false);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms) << "the call only starts the worker";
    FolderView v;
    size_t first = 0;
    bool first_before_done = false;
    auto until = std::chrono::steady_clock::now() + 60s;
    while (!v.done && std::chrono::steady_clock::now() < until) {
        take_listing(*listing, v);
        if (first == 0 && !v.entries.empty()) {
            first = v.entries.size();
            first_before_done = !v.done;
        }
        std::this_thread::yield();
    }
    EXPECT_TRUE(first_before_done) << "the first " << first << " came with the end";
    ASSERT_EQ(v.entries.size(), 20000u);
    EXPECT_TRUE(std::is_sorted(v.entries.begin(), v.entries.end(), folder_order));
    EXPECT_EQ(v.entries.front().name, "f0");
    EXPECT_EQ(v.entries.back().name, "f9999");
}

TEST_F(Workers, PlacesAreHomeRemovableMediaMntTheEmulatorAndTheSearchFindings) {
    fs::path root = tmp / "root", home = tmp / "home", found = tmp / "found";
    for (const fs::path& p : {root / "run/media/deck/SD card", root / "run/media/deck/USB", root / "run/media/other/X",
                              root / "media/deck/Disk", root / "mnt", home / ".local/share/shadPS4", found})
        fs::create_directories(p);
    PlaceQuery q{home.string(), "deck", root.string(), {found.string() + "/", (tmp / "missing").string()},
                 {home.string()}};
    std::vector<FolderPlace> places = folder_places(q);
    std::vector<std::string> paths;
    for (const FolderPlace& p : places) paths.push_back(p.path);
    EXPECT_EQ(paths, (std::vector<std::string>{home.string(), (root / "run/media/deck/SD card").string(),
                                               (root / "run/media/deck/USB").string(),
                                               (root / "media/deck/Disk").string(), (root / "mnt").string(),
                                               (home / ".local/share/shadPS4").string(), found.string()}))
        << "existing folders only, each once, another user's media left out";
    ASSERT_EQ(places.size(), 7u);
    EXPECT_EQ(places[1].kind, PlaceKind::media);
    EXPECT_EQ(places[1].name, "SD card");
    EXPECT_EQ(places[6].kind, PlaceKind::found_game);
    // The browser's first listing brings them along.
    EXPECT_EQ(list_all(home, true, q).places.size(), 7u);
}
