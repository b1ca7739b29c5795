#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "core/paths.h"
#include "core/settings.h"
#include "launch/environment.h"
#include "support/testing.h"

extern char** environ;

namespace {

std::optional<std::string> value_of(const EnvList& env, const std::string& name) {
    for (const auto& e : env)
        if (e.compare(0, name.size() + 1, name + "=") == 0) return e.substr(name.size() + 1);
    return std::nullopt;
}

long index_of(const EnvList& env, const std::string& name) {
    for (size_t i = 0; i < env.size(); ++i)
        if (env[i].compare(0, name.size() + 1, name + "=") == 0) return long(i);
    return -1;
}

long count_of(const EnvList& env, const std::string& name) {
    return std::count_if(env.begin(), env.end(),
                         [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
}

class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_data = "/data/q";
    }
    void TearDown() override { reset_settings(); }
};

}  // namespace

TEST(EnvSet, ReplacesFirstExactNameInPlaceOrAppends) {
    EnvList env = {"A=1", "QUOR_NEO_X=7", "quor_neo=5", "QUOR_NEO=old", "QUOR_NEO=dup"};
    env_set(env, "QUOR_NEO", "a=b=c");
    EXPECT_EQ(env, (EnvList{"A=1", "QUOR_NEO_X=7", "quor_neo=5", "QUOR_NEO=a=b=c", "QUOR_NEO=dup"}));
    env_set(env, "NEW", "");
    EXPECT_EQ(env.back(), "NEW=");
    EXPECT_EQ(env.size(), 6u);
}

TEST_F(EnvironmentTest, EverySettingAbsentGivesTheFixedRowsInOrder) {
    S.map.clear();
    EnvList env = build_game_environment({"HOME=/h", "PATH=/bin"});
    EnvList expected = {
        "HOME=/h",
        "PATH=/bin",
        "QUOR_DATA_DIR=/data/q",
        "QUOR_GAME_DIR=",
        "QUOR_USER_DIR=/data/q/user",
        "QUOR_MODES=",
        "ORN_FULLSCREEN=0",
        "ORN_PRESENT_MODE=",
        "QUOR_CVARS=r_vignetteOverrideEnable=1 r_vignetteEnable=0 fog_enable=0 AO_Mode=0",
        "QUOR_RECORD_THREAD=0",
        "ORN_DIRECT_MEMORY_ACCESS=0",
        "QUOR_NEO=0",
        "QUOR_OUTPUT_RES=1920x1080",
        "ORN_FSR1=1",
        "ORN_RCAS=1",
        "ORN_RCAS_ATTENUATION=250",
        "QUOR_MOUSE=0",
        "QUOR_MOUSE_SENS=1.0",
        "QUOR_MOUSE_INVERT=0",
        "ORN_CONFIG=/data/q/quor.ini",
        "PYTHONUNBUFFERED=1",
        "PYTHONIOENCODING=utf-8",
    };
    EXPECT_EQ(env, expected);
}

TEST_F(EnvironmentTest, EveryConditionalRowInTableOrder) {
    S.set("game_dir", "/g");
    S.set("sys_modules", "/mods");
    S.set("dlc_dir", "/dlc");
    S.set("user_dir", "/u/SaveData/1");
    S.set("fps60", "1");
    S.set("fullscreen", "1");
    S.set("present_mode", "Fifo");
    S.set("language", "17");
    S.set("player_name", "Ana Lu");
    S.set("show_fps", "1");
    S.set("readbacks", "1");
    S.set("fx_vignette", "0");
    S.set("perf_culling", "0");
    S.set("perf_record_thread", "1");
    S.set("perf_dma", "0");
    S.set("gpu_submit", "on");
    S.set("output_res", "3440x1440");
    S.set("upscaler", "bilinear");
    S.set("sharpness", "off");
    S.set("mouse", "1");
    S.set("mouse_sens", "2.5");
    S.set("mouse_invert", "1");
    S.set("gamepad", "Pad X");
    EnvList env = build_game_environment({});
    EnvList expected = {
        "QUOR_DATA_DIR=/data/q",
        "QUOR_GAME_DIR=/g",
        "QUOR_USER_DIR=/u",
        "QUOR_SYS_MODULES=/mods",
        "QUOR_DLC_DIR=/dlc",
        "QUOR_MODES=af16,fps60",
        "ORN_FULLSCREEN=1",
        "ORN_PRESENT_MODE=Fifo",
        "ORN_LANGUAGE=17",
        "ORN_USER_NAME=Ana Lu",
        "QUOR_FPS=1",
        "ORN_READBACKS=1",
        "QUOR_CVARS=r_vignetteOverrideEnable=1 r_vignetteEnable=0",
        "QUOR_RECORD_THREAD=1",
        "ORN_DIRECT_MEMORY_ACCESS=0",
        "QUOR_FLUSH_US=1000",
        "QUOR_RB_AHEAD=1",
        "QUOR_NEO=0",
        "QUOR_OUTPUT_RES=3440x1440",
        "QUOR_RENDER_RES=3440x1440",
        "ORN_FSR1=0",
        "ORN_RCAS=0",
        "QUOR_MOUSE=1",
        "QUOR_MOUSE_SENS=2.5",
        "QUOR_MOUSE_INVERT=1",
        "ORN_GAMEPAD=Pad X",
        "ORN_CONFIG=/data/q/quor.ini",
        "PYTHONUNBUFFERED=1",
        "PYTHONIOENCODING=utf-8",
    };
    EXPECT_EQ(env, expected);
}

TEST_F(EnvironmentTest, GpuSubmitSetsItsPairOnlyForExactOnOrOff) {
    S.set("gpu_submit", "off");
    EnvList env = build_game_environment({});
    EXPECT_EQ(value_of(env, "QUOR_FLUSH_EVERY"), "0");
    EXPECT_EQ(value_of(env, "QUOR_RB_AHEAD"), "0");
    EXPECT_FALSE(value_of(env, "QUOR_FLUSH_US"));
    EXPECT_EQ(index_of(env, "QUOR_RB_AHEAD"), index_of(env, "QUOR_FLUSH_EVERY") + 1);

    for (const char* other : {"auto", "On", "OFF", "", "nvidia"}) {
        S.set("gpu_submit", other);
        env = build_game_environment({"QUOR_RB_AHEAD=inherited"});
        EXPECT_FALSE(value_of(env, "QUOR_FLUSH_US")) << other;
        EXPECT_FALSE(value_of(env, "QUOR_FLUSH_EVERY")) << other;
        EXPECT_EQ(value_of(env, "QUOR_RB_AHEAD"), "inherited") << other;
    }
}

TEST_F(EnvironmentTest, InheritedVariablesAreReplacedInPlaceAndConditionalOnesSurvive) {
    EnvList inherited = {"QUOR_FPS=1", "QUOR_GAME_DIR=/old", "X=1", "QUOR_GAME_DIR=/old2",
                         "ORN_RCAS_ATTENUATION=99", "ORN_GAMEPAD=Old pad", "PYTHONIOENCODING=latin-1"};
    S.set("game_dir", "/new");
    S.set("sharpness", "off");
    EnvList env = build_game_environment(inherited);
    EXPECT_EQ(env[0], "QUOR_FPS=1");  // show_fps off only skips, never removes
    EXPECT_EQ(env[1], "QUOR_GAME_DIR=/new");
    EXPECT_EQ(env[2], "X=1");
    EXPECT_EQ(env[3], "QUOR_GAME_DIR=/old2");
    EXPECT_EQ(env[4], "ORN_RCAS_ATTENUATION=99");
    EXPECT_EQ(env[5], "ORN_GAMEPAD=Old pad");
    EXPECT_EQ(env[6], "PYTHONIOENCODING=utf-8");
    EXPECT_EQ(value_of(env, "ORN_RCAS"), "0");
    EXPECT_EQ(count_of(env, "QUOR_GAME_DIR"), 2);
    EXPECT_EQ(count_of(env, "PYTHONIOENCODING"), 1);
}

TEST_F(EnvironmentTest, ModesString) {
    struct Case { const char* af16; const char* fps60; const char* modes; };
    for (Case c : {Case{"0", "0", ""}, Case{"1", "0", "af16"}, Case{"0", "1", "fps60"},
                   Case{"1", "1", "af16,fps60"}, Case{"yes", "1 ", ""}}) {
        S.set("af16", c.af16);
        S.set("fps60", c.fps60);
        EXPECT_EQ(modes_string(), c.modes) << c.af16 << "/" << c.fps60;
        EXPECT_EQ(value_of(build_game_environment({}), "QUOR_MODES"), c.modes);
    }
}

TEST_F(EnvironmentTest, CvarStringJoinsFragmentsWithSingleBlanks) {
    // Defaults: every effect on, culling on.
    EXPECT_EQ(cvar_string(), "doIndexBufferCulling=0 doSunShadowIndexBufferCulling=0");

    S.set("perf_culling", "0");
    EXPECT_EQ(cvar_string(), "");
    S.set("fx_fog", "0");
    EXPECT_EQ(cvar_string(), "fog_enable=0");
    S.set("engine_cvars", "a=1  b=2 ");
    EXPECT_EQ(cvar_string(), "fog_enable=0 a=1  b=2 ");
    S.set("fx_fog", "1");
    EXPECT_EQ(cvar_string(), "a=1  b=2 ");

    S.set("fx_vignette", "0");
    S.set("fx_fog", "0");
    S.set("fx_ssao", "0");
    S.set("perf_culling", "1");
    S.set("engine_cvars", "z=9");
    EXPECT_EQ(cvar_string(),
              "r_vignetteOverrideEnable=1 r_vignetteEnable=0 fog_enable=0 AO_Mode=0 "
              "doIndexBufferCulling=0 doSunShadowIndexBufferCulling=0 z=9");
    EXPECT_EQ(value_of(build_game_environment({}), "QUOR_CVARS"), cvar_string());
}

TEST(WideOutput, MoreThanOnePercentWiderThanSixteenByNine) {
    EXPECT_TRUE(is_wide_output("3440x1440"));
    EXPECT_TRUE(is_wide_output("2560x1080"));
    EXPECT_TRUE(is_wide_output("5120x1440"));
    EXPECT_TRUE(is_wide_output("1617x900"));   // just past the 1 % margin
    EXPECT_FALSE(is_wide_output("1616x900"));  // exactly on it
    EXPECT_FALSE(is_wide_output("1920x1080"));
    EXPECT_FALSE(is_wide_output("1366x768"));
    EXPECT_FALSE(is_wide_output("1280x800"));
    EXPECT_FALSE(is_wide_output("1080x1920"));
}

TEST(WideOutput, TextThatDoesNotParseIsNeverWide) {
    for (const char* text : {"", "wide", "3440", "3440X1440", "x1440", "3440 x 1440", "3440x"})
        EXPECT_FALSE(is_wide_output(text)) << text;
    EXPECT_TRUE(is_wide_output("3440x1440@144"));  // the numbers still parse
}

TEST(WideOutput, HugeNumbersDoNotOverflow) {
    // Each of these wraps a 32-bit product to the wrong sign.
    EXPECT_TRUE(is_wide_output("300000000x1"));
    EXPECT_FALSE(is_wide_output("1x200000000"));
    EXPECT_TRUE(is_wide_output("2147483647x1000000000"));
    EXPECT_FALSE(is_wide_output("1000000000x2147483647"));
}

TEST_F(EnvironmentTest, RenderResolutionFollowsOutputAndNeo) {
    S.set("output_res", "3440x1440");
    EnvList env = build_game_environment({});
    EXPECT_EQ(value_of(env, "QUOR_OUTPUT_RES"), "3440x1440");
    EXPECT_EQ(value_of(env, "QUOR_RENDER_RES"), "3440x1440");
    EXPECT_EQ(index_of(env, "QUOR_RENDER_RES"), index_of(env, "QUOR_OUTPUT_RES") + 1);

    S.set("neo", "1");
    env = build_game_environment({});
    EXPECT_EQ(value_of(env, "QUOR_NEO"), "1");
    EXPECT_FALSE(value_of(env, "QUOR_RENDER_RES"));

    S.set("neo", "0");
    for (const char* narrow : {"1280x800", "1920x1080", "1366x768", "big screen"}) {
        S.set("output_res", narrow);
        env = build_game_environment({"QUOR_RENDER_RES=kept"});
        EXPECT_EQ(value_of(env, "QUOR_OUTPUT_RES"), narrow);
        EXPECT_EQ(value_of(env, "QUOR_RENDER_RES"), "kept") << narrow;
    }

    S.set("output_res", "");
    EXPECT_EQ(value_of(build_game_environment({}), "QUOR_OUTPUT_RES"), "1920x1080");
}

TEST_F(EnvironmentTest, SharpnessAndFallbacks) {
    S.set("sharpness", "0");
    EnvList env = build_game_environment({});
    EXPECT_EQ(value_of(env, "ORN_RCAS"), "1");
    EXPECT_EQ(value_of(env, "ORN_RCAS_ATTENUATION"), "0");

    S.set("sharpness", "600");
    EXPECT_EQ(value_of(build_game_environment({}), "ORN_RCAS_ATTENUATION"), "600");

    S.set("sharpness", "");
    S.set("mouse_sens", "");
    S.set("upscaler", "xyz");
    env = build_game_environment({});
    EXPECT_EQ(value_of(env, "ORN_RCAS_ATTENUATION"), "250");
    EXPECT_EQ(value_of(env, "QUOR_MOUSE_SENS"), "1.0");
    EXPECT_EQ(value_of(env, "ORN_FSR1"), "1");

    S.set("sharpness", "off");
    env = build_game_environment({});
    EXPECT_EQ(value_of(env, "ORN_RCAS"), "0");
    EXPECT_FALSE(value_of(env, "ORN_RCAS_ATTENUATION"));
}

TEST_F(EnvironmentTest, ExtraVariablesOverrideTheTableButNotPython) {
    S.set("extra_env",
          "  NOEQUALS QUOR_NEO=7\tA=x=y \n B= A=later\t\t PYTHONUNBUFFERED=0 PYTHONIOENCODING=ascii  ");
    EnvList env = build_game_environment({"B=inherited"});
    EXPECT_EQ(env[0], "B=");
    EXPECT_EQ(value_of(env, "QUOR_NEO"), "7");
    // Replaced where the table put it, right after QUOR_RECORD_THREAD.
    EXPECT_EQ(index_of(env, "QUOR_NEO"), index_of(env, "QUOR_RECORD_THREAD") + 1);
    EXPECT_EQ(value_of(env, "A"), "later");
    EXPECT_EQ(count_of(env, "A"), 1);
    EXPECT_FALSE(value_of(env, "NOEQUALS"));
    EXPECT_EQ(value_of(env, "PYTHONUNBUFFERED"), "1");
    EXPECT_EQ(value_of(env, "PYTHONIOENCODING"), "utf-8");

    S.set("extra_env", "K=a=b");
    EXPECT_EQ(value_of(build_game_environment({}), "K"), "a=b");
    // The user's pairs come after the table, before the two Python rows.
    env = build_game_environment({});
    EXPECT_EQ(index_of(env, "K"), long(env.size()) - 3);
}

TEST_F(EnvironmentTest, GameEnvironmentStartsFromTheProcessEnvironment) {
    ASSERT_EQ(setenv("QUOR_TEST_MARK", "here", 1), 0);
    ASSERT_EQ(setenv("QUOR_GAME_DIR", "/stale", 1), 0);
    S.set("game_dir", "/fresh");
    EnvList process;
    for (char** e = environ; *e; ++e) process.emplace_back(*e);
    EnvList env = game_environment();
    unsetenv("QUOR_TEST_MARK");
    unsetenv("QUOR_GAME_DIR");

    ASSERT_GE(env.size(), process.size());
    EXPECT_EQ(index_of(env, "QUOR_TEST_MARK"), index_of(process, "QUOR_TEST_MARK"));
    EXPECT_EQ(value_of(env, "QUOR_TEST_MARK"), "here");
    EXPECT_EQ(index_of(env, "QUOR_GAME_DIR"), index_of(process, "QUOR_GAME_DIR"));
    EXPECT_EQ(value_of(env, "QUOR_GAME_DIR"), "/fresh");
    EXPECT_EQ(env.back(), "PYTHONIOENCODING=utf-8");
}
