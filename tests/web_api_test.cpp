// The page's host in-process: the functions the page calls, built natively.
#include <gtest/gtest.h>

#include <string>

#include "key_script.h"
#include "panel_api.h"

namespace {

TEST(PageHost, CyclesRecordReplayTraceAndAsk) {
    cp_start();
    int bells = 0;
    for (const char key : std::string("ae")) bells += cp_cycle(key);
    for (int i = 0; i < 130; ++i) bells += cp_cycle(-1);
    EXPECT_EQ(std::string(cp_why()), "");  // a cycle without a key
    EXPECT_EQ(bells, 3);
    cp_cycle('f');
    EXPECT_EQ(std::string(cp_why()), "f: door opened");
    cp_cycle(0);  // a NUL byte is a key, not a cycle without one
    EXPECT_EQ(std::string(cp_why()), "\\x00: ignored: not a key");
    EXPECT_EQ((std::tuple(std::string(cp_row(10)), std::string(cp_row(11)), cp_color(), cp_door(), cp_cycles())),
              (std::tuple(std::string("00:00"), std::string("00: manual"), 33, 1, 134.0)));
    EXPECT_EQ(std::string(cp_script()), "a e .{130} f \\x00");
    const std::string csv = cp_export(1);
    EXPECT_EQ(csv.substr(0, 5), "cycle");
    EXPECT_NE(csv.find("\r\n133,f,00:00,00: manual,32,0,1,idle,open,"), std::string::npos);
    EXPECT_NE(std::string(cp_export(3)).find(">cooker-panel-session.keys, 134 cycles (13.4 s)<"), std::string::npos);

    EXPECT_EQ(std::string(cp_load("a {2}", "link")), "link:1:3: '{' must follow a key or '.'");
    EXPECT_EQ(cp_replay_next(), -2);
    EXPECT_EQ(std::string(cp_load("d . e{2}", "script")), "");
    std::string keys;
    for (int key = cp_replay_next(); key != -2; key = cp_replay_next()) keys += key < 0 ? '.' : char(key);
    EXPECT_EQ(keys, "d.ee");
    cp_start();
    cp_load("b . e .{2}", "script");
    EXPECT_EQ(cp_replay_all(), 0);
    EXPECT_EQ(std::string(cp_script()), "b . e .{2}");

    EXPECT_EQ(std::string(cp_ask("operation=ended")), "Se c a . e .{29}");  // a cancel and 3 s are quicker
    EXPECT_EQ(std::string(cp_ask("operation=running")), "S");     // holds now
    EXPECT_EQ(std::string(cp_ask("bell=1,door=open")), "U");
    EXPECT_EQ(std::string(cp_ask("time>cur_temp")), "Ecolumn 6: 'time' and 'cur_temp' are fields of different kinds");
    cp_cycle('e');  // a cancel: another state, another search
    EXPECT_EQ(std::string(cp_ask("mode=1")), "Sd");

    // What the display shows, and values as people write them: from a fresh
    // panel nothing is drawn yet, after a cycle the rows hold at once.
    cp_start();
    EXPECT_EQ(std::string(cp_ask("row11=00: manual")), "S.");
    EXPECT_EQ(std::string(cp_ask("mode=porridge,time=1:30")), "Sd{2} .");
    EXPECT_EQ(std::string(cp_ask("row11='02: \xEC\xA3\xBD',color==green")), "Sd{2}");
    EXPECT_EQ(std::string(cp_ask("time=50C")), "Ecolumn 6: '50C' is degrees, but 'time' takes seconds (90, 90s or 1:30)");
    cp_cycle(-1);
    EXPECT_EQ(std::string(cp_ask("row11=00: manual,row10=00:00")), "S");
}

}  // namespace
