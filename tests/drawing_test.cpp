// Display conversion and panel drawing: digits, the two forms of row 10, the
// mode line, and where the flushes fall.
#include <gtest/gtest.h>

#include "display_controller.h"
#include "mode_controller.h"
#include "test_support.h"
#include "time_temp_mode_control.h"

namespace panel {
namespace {

using test::Recorder;

TEST(DisplayConversion, TimeDigits) {
    struct Case {
        std::int32_t seconds;
        std::array<std::int32_t, 4> digits;
    };
    const Case cases[] = {{0, {0, 0, 0, 0}},   {59, {0, 0, 5, 9}},  {60, {0, 1, 0, 0}},
                          {125, {0, 2, 0, 5}}, {599, {0, 9, 5, 9}}, {600, {1, 0, 0, 0}}};
    for (const Case& c : cases) {
        EXPECT_EQ(Convert_to_DpTime(TimeTemp{c.seconds, 20, 20}), c.digits) << c.seconds;
    }
}

TEST(DisplayConversion, TemperatureFollowsOperationState) {
    // Idle shows the set temperature; running and ended the current one; a
    // cancel cycle keeps the whole previous frame, time digits included.
    struct Case {
        std::int32_t operation;
        DisplayFrame expected;
    };
    const DisplayFrame previous{{9, 9, 9, 9, 9, 9}};
    const Case cases[] = {{OP_IDLE, {{0, 2, 0, 5, 5, 0}}},
                          {OP_RUNNING, {{0, 2, 0, 5, 3, 0}}},
                          {OP_ENDED, {{0, 2, 0, 5, 3, 0}}},
                          {OP_CANCEL, previous}};
    for (const Case& c : cases) {
        ControlState control{RAISE_NONE, SETTING_TIME, c.operation, OPENING_CLOSED, 0};
        DisplayDigits digits{};
        PanelOutputs outputs{};
        outputs.display = previous;
        const DisplayFrame frame = Display_Controller(control, TimeTemp{125, 50, 30}, digits, outputs);
        EXPECT_EQ(frame, c.expected) << c.operation;
        EXPECT_EQ(outputs.display, c.expected) << c.operation;
        EXPECT_EQ(digits.time_digits, (std::array<std::int32_t, 4>{0, 2, 0, 5})) << c.operation;
    }
}

TEST(PanelDrawing, RowTenForms) {
    // Both forms cover columns 30 to 35; only temperature selected in manual
    // mode gives the temperature form.
    struct Case {
        std::int32_t setting;
        std::int32_t mode;
        std::int32_t color;
        DisplayFrame frame;
        std::string text;
    };
    const Case cases[] = {
        {SETTING_TIME, 0, 33, {{0, 1, 3, 0, 5, 0}}, "\x1b[33m01:30\x1b[0m "},
        {SETTING_TIME, 0, 32, {{1, 0, 0, 0, 9, 0}}, "\x1b[32m10:00\x1b[0m "},
        {SETTING_TEMP, 0, 32, {{0, 0, 0, 0, 2, 0}}, "\x1b[32m20C\x1b[0m   "},
        {SETTING_TEMP, 3, 32, {{0, 2, 0, 0, 9, 0}}, "\x1b[32m02:00\x1b[0m "},
        {SETTING_TEMP, 0, 0, {{0, 0, 0, 9, 5, 0}}, "\x1b[0m50C\x1b[0m   "},
    };
    for (const Case& c : cases) {
        Recorder rec;
        const ControlState control{RAISE_NONE, c.setting, OP_IDLE, OPENING_CLOSED, c.mode};
        Time_Temp_Interface(control, c.frame, c.color);
        panel_output().flush();
        ASSERT_EQ(rec.batches().size(), 2U);
        EXPECT_EQ(rec.batches()[0], "\x1b[10;30f");
        EXPECT_EQ(rec.batches()[1], c.text);
    }
}

TEST(PanelDrawing, ModeLineForEveryRow) {
    const char* texts[] = {"00: manual", "01: \xEB\x96\xA1", "02: \xEC\xA3\xBD", "03: \xEB\xB0\xA5",
                           "04: \xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C", "05: \xED\x94\xBC\xEC\x9E\x90"};
    const std::size_t sizes[] = {10, 7, 7, 7, 14, 10};
    for (std::size_t row = 0; row < MODE_TABLE.size(); ++row) {
        const ModeInfo* current = &MODE_TABLE[row];
        PanelOutputs outputs{};
        outputs.mode_text = Display_Mode_Name(current);
        EXPECT_EQ(std::string(outputs.mode_text.bytes), texts[row]);
        EXPECT_EQ(std::string(outputs.mode_text.bytes).size(), sizes[row]);

        Recorder rec;
        Mode_Interface(outputs, 0);
        panel_output().flush();
        ASSERT_EQ(rec.batches().size(), 2U);
        EXPECT_EQ(rec.batches()[0], "\x1b[11;30f");
        EXPECT_EQ(rec.batches()[1], std::string("\x1b[0m") + texts[row] + "\x1b[0m     ");
    }
}

TEST(PanelDrawing, NameFillingItsWholeFieldIsCutAtTwentyBytes) {
    ModeInfo row{3, {}, 0};
    for (char& c : row.name) c = 'x';
    const ModeInfo* current = &row;
    EXPECT_EQ(std::string(Display_Mode_Name(current).bytes), "03: " + std::string(20, 'x'));
}

TEST(PanelDrawing, FirstCyclesByteForByte) {
    // A cycle reaches the terminal in three batches, each ending with a
    // positioning; the plain mode line waits in the buffer for the next cycle.
    Recorder rec;
    Panel p = test::started_panel();
    test::run_idle(p, 1);
    const std::string plain_mode = "\x1b[0m00: manual\x1b[0m     ";
    const std::vector<std::string> first = {
        "\x1b[10;30f",
        "\x1b[32m00:00\x1b[0m \x1b[11;30f",
        "\x1b[32m00: manual\x1b[0m     \x1b[11;30f",
    };
    EXPECT_EQ(rec.batches(), first);
    EXPECT_EQ(rec.pending(), plain_mode.size());

    rec.clear();
    test::run_idle(p, 1);
    ASSERT_EQ(rec.batches().size(), 3U);
    EXPECT_EQ(rec.batches()[0], plain_mode + "\x1b[10;30f");
    EXPECT_EQ(rec.batches()[1], first[1]);
    EXPECT_EQ(rec.batches()[2], first[2]);
}

TEST(PanelDrawing, EveryFlushFollowsAPositioningAndNoneOtherwise) {
    // Through a whole session (set, run, end with bells, reset) every batch
    // ends with exactly one positioning sequence and holds no other.
    Recorder rec;
    Panel p = test::started_panel();
    test::run_keys(p, "caaxe" + std::string(80, 'x') + "fxx");
    for (const std::string& batch : rec.batches()) {
        ASSERT_GE(batch.size(), 8U);
        const std::string tail = batch.substr(batch.rfind("\x1b["));
        EXPECT_TRUE(tail == "\x1b[10;30f" || tail == "\x1b[11;30f") << tail;
        EXPECT_EQ(batch.find(";30f"), batch.size() - 4) << "positioning inside a batch";
    }
    EXPECT_EQ(rec.batches().size(), 3U * 88U);
}

}  // namespace
}  // namespace panel
