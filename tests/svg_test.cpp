// The trace as a timing diagram: the SVG read back by an XML parser
// (xmllint) and its tooltips checked against the CSV of the same script,
// field by field; busy segments and the size bound of a long trace; the step
// plots' levels; and the committed pictures, which librsvg renders.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <regex>

#include "fields.h"
#include "test_support.h"

namespace {

using panel::test::Result;
using panel::test::run_program;

// The lanes' names, top to bottom: the CSV's columns after the cycle.
const std::vector<std::string> FIELDS = [] {
    std::vector<std::string> names;
    for (const panel::trace::Field f : panel::trace::LANE_FIELDS) names.emplace_back(panel::trace::field_name(f));
    return names;
}();
const std::size_t LANES = FIELDS.size();

bool have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

Result shell(const std::string& command, const std::string& input = "") {
    return run_program("/bin/sh", {"-c", command}, input);
}

// Each CSV row's fields as the CSV writes them (quotes kept), header
// dropped. Only the key is ever quoted, and no field holds a line end.
std::vector<std::vector<std::string>> csv_rows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(csv.substr(csv.find("\r\n") + 2));
    for (std::string line; std::getline(lines, line);) {
        line.pop_back();  // the CR
        const std::size_t key = line.find(',') + 1;
        const std::size_t end = line[key] == '"' ? line.find("\",", key + 1) + 1 : line.find(',', key);
        std::vector<std::string> row{line.substr(0, key - 1), line.substr(key, end - key)};
        std::istringstream fields(line.substr(end + 1));
        for (std::string field; std::getline(fields, field, ',');) row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

// The text of every <title>, read by libxml2.
std::vector<std::string> tooltips(const std::string& svg) {
    const Result r = shell(
        "xmllint --xpath '//*[local-name()=\"title\"]/text()' - | "
        "sed -e 's/&quot;/\"/g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\\&/g'",
        svg);
    // One title a line: no value holds a line end.
    std::vector<std::string> tips;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) tips.push_back(line);
    return tips;
}

std::string svg_of(const std::string& script, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"--format=svg"};
    args.insert(args.end(), more.begin(), more.end());
    const Result r = run_program(COOKER_PANEL_TRACE, args, script);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// Checks the diagram of a trace against its CSV rows, tooltip by tooltip:
// in each lane the segments cover every cycle once and in order (the key
// lane every cycle with a key); a plain segment holds one CSV value
// throughout and is no piece of a longer run; a busy one counts the CSV's
// changes. Returns how many segments are busy.
std::size_t check_lanes(const std::string& svg, const std::vector<std::vector<std::string>>& rows) {
    struct Lane {
        std::size_t next = 1;  // the first cycle not covered yet
        std::string value;     // of the plain segment just before it, if any
    };
    std::map<std::string, Lane> lanes;
    std::size_t busy = 0;
    for (const std::string& tip : tooltips(svg)) {
        const std::string field = tip.substr(0, tip.find(' ')), cycles = tip.substr(tip.rfind(' ') + 1);
        const std::size_t column = std::size_t(std::find(FIELDS.begin(), FIELDS.end(), field) - FIELDS.begin()) + 1;
        const std::size_t first = std::stoul(cycles), dash = cycles.find('-');
        const std::size_t last = dash == std::string::npos ? first : std::stoul(cycles.substr(dash + 1));
        Lane& lane = lanes[field];
        if (column > LANES || first < lane.next || last > rows.size()) {
            ADD_FAILURE() << "out of place: " << tip;
            return busy;
        }
        for (std::size_t c = lane.next; c < first; ++c) EXPECT_TRUE(column == 1 && rows[c - 1][1].empty()) << tip;
        const std::string prefix = field + " changes ";
        if (tip.starts_with(prefix)) {
            ++busy;
            std::size_t changes = 0;
            for (std::size_t c = first; c < last; ++c) changes += rows[c][column] != rows[c - 1][column];
            EXPECT_EQ(tip.substr(prefix.size(), tip.find(' ', prefix.size()) - prefix.size()),
                      std::to_string(changes))
                << tip;
            lane.value.clear();
        } else {
            const std::string value = tip.substr(field.size() + 1, tip.rfind(", cycle") - field.size() - 1);
            for (std::size_t c = first; c <= last; ++c) EXPECT_EQ(rows[c - 1][column], value) << tip;
            EXPECT_FALSE(lane.next == first && lane.value == value) << "a run cut in two: " << tip;
            lane.value = value;
        }
        lane.next = last + 1;
    }
    for (const std::string& field : FIELDS) {
        for (std::size_t c = lanes[field].next; c <= rows.size(); ++c)
            EXPECT_TRUE(field == FIELDS[0] && rows[c - 1][1].empty()) << field << " does not reach cycle " << c;
    }
    return busy;
}

TEST(TraceSvg, TooltipsAreTheCsvRunsFieldByField) {
    if (!have("xmllint")) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    // Each script with the heading that says what ran and for how long.
    const std::pair<const char*, const char*> scripts[] = {
        {"a e .{127} f .", "131 cycles (13.1 s)"},        // the typical use
        {"c a{3} . e .{100}", "106 cycles (10.6 s)"},     // the temperature form
        {"d{4} . e .{30} e . f f", "40 cycles (4.0 s)"},  // a cancel in an automatic mode
        {", \" < & c c", "6 cycles (0.6 s)"},             // keys that CSV quotes and XML escapes
        {".", "1 cycle (0.1 s)"},
    };
    for (const auto& [script, heading] : scripts) {
        const std::string svg = svg_of(script);
        EXPECT_EQ(shell("xmllint --noout -", svg).status, 0) << script;
        EXPECT_NE(svg.find(">standard input, " + std::string(heading) + "</text>"), std::string::npos) << script;
        // The only titles are the segments' tooltips.
        const Result csv = run_program(COOKER_PANEL_TRACE, {"--format=csv"}, script);
        EXPECT_EQ(check_lanes(svg, csv_rows(csv.out)), 0U) << script;
    }
    // Keys that CSV quotes are written as they were typed, escaped for XML.
    const std::string odd = svg_of(", \" < & c c");
    for (const char* text : {">,</text>", ">&quot;</text>", ">&lt;</text>", ">&amp;</text>"})
        EXPECT_NE(odd.find(text), std::string::npos) << text;
    // --changes changes nothing.
    EXPECT_EQ(svg_of("a e", {"--changes"}), svg_of("a e"));
}

TEST(TraceSvg, AnyNameMakesADocumentAndPlotsFollowTheirValues) {
    if (!have("xmllint")) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    // Names with control bytes, bytes that are no UTF-8, and XML's own
    // characters: a document libxml2 reads, the odd bytes written as \xHH.
    const std::pair<std::string, std::string> names[] = {
        {"a\x01" "b", "a\\x01b"},          {"\xff\xfe", "\\xff\\xfe"},     {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xe2\x82", "\\xe2\\x82"},    {"\xc0\xaf", "\\xc0\\xaf"},     {"t\xc3\xa9 <&>\"'", "t\xc3\xa9 &lt;&amp;&gt;&quot;'"},
        {"\xeb\x96\xa1\xf0\x9f\x8d\x9a", "\xeb\x96\xa1\xf0\x9f\x8d\x9a"},  // whole characters of three and four bytes
    };
    for (const auto& [name, shown] : names) {
        const std::string path = "/tmp/svg-test-" + name;
        std::ofstream(path) << "a e";
        const Result r = run_program(COOKER_PANEL_TRACE, {"--format=svg", path});
        std::remove(path.c_str());
        EXPECT_EQ(shell("xmllint --noout -", r.out).status, 0) << shown;
        EXPECT_NE(r.out.find(">/tmp/svg-test-" + shown + ", 2 cycles"), std::string::npos) << shown;
    }
    // Every level of a step plot: higher values higher up, and each step
    // rises from where the level before it ended.
    const std::string svg = svg_of("c a{3} . e .{100} b");
    const std::regex level("<title>(time|set_temp|cur_temp) (\\d+), [^<]*</title><path d=\"M[\\d.]+ ([\\d.]+)L[\\d.]+ ([\\d.]+)L");
    std::map<std::string, std::map<int, double>> y_of;
    std::map<std::string, double> end_of;
    std::size_t levels = 0;
    for (std::sregex_iterator m(svg.begin(), svg.end(), level), end; m != end; ++m, ++levels) {
        const std::string lane = (*m)[1];
        const double from = std::stod((*m)[3]), y = std::stod((*m)[4]);
        if (end_of.count(lane) != 0) {
            EXPECT_EQ(from, end_of[lane]) << lane;
        }
        end_of[lane] = y;
        y_of[lane][std::stoi((*m)[2])] = y;
    }
    EXPECT_EQ(levels, 11U + 4U + 4U);  // time 0, 9 and its countdown; 20 to 50 twice
    for (const auto& [lane, ys] : y_of)
        for (auto it = ys.begin(); std::next(it) != ys.end(); ++it) EXPECT_GT(it->second, std::next(it)->second) << lane;
    // The time axis: its first tick after 0 at a round step that gives at
    // most 16 ticks, in seconds, then M:SS past a minute and H:MM:SS past an
    // hour; past 16 hours, whole hours.
    const std::pair<int, const char*> axes[] = {
        {130, "1 s"},       {300, "2 s"},       {600, "5 s"},        {1200, "0:10"},      {1650, "0:15"},
        {2400, "0:15"},     {3036, "0:30"},     {6000, "1:00"},      {15000, "2:00"},     {30000, "5:00"},
        {72000, "0:10:00"}, {120000, "0:20:00"}, {240000, "0:30:00"}, {400000, "1:00:00"}, {600000, "2:00:00"},
    };
    for (const auto& [cycles, label] : axes) {
        const std::string quiet = svg_of(".{" + std::to_string(cycles) + "}");
        const std::size_t zero = quiet.find("</text>", quiet.find("<g text-anchor=\"middle\""));
        const std::size_t second = quiet.find('>', quiet.find("<text", zero)) + 1;
        EXPECT_EQ(quiet.substr(second, quiet.find('<', second) - second), label) << cycles << " cycles";
    }
}

TEST(TraceSvg, ALongTraceMergesBusyChangesAndStaysSmall) {
    if (!have("xmllint")) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    std::mt19937 random(14);
    std::string script;
    const char keys[] = "abcdef.......";
    for (int i = 0; i < 30000; ++i) script += keys[random() % (sizeof keys - 1)];
    const std::string svg = svg_of(script);
    EXPECT_LT(svg.size(), 2'000'000U);
    EXPECT_EQ(shell("xmllint --noout -", svg).status, 0);
    const auto rows = csv_rows(run_program(COOKER_PANEL_TRACE, {"--format=csv"}, script).out);
    ASSERT_EQ(rows.size(), 30000U);

    EXPECT_GT(check_lanes(svg, rows), 0U);
}

TEST(TraceSvg, CommittedPicturesAreTheProgramsOwn) {
    // Each picture under doc/ is the trace of the example of the same name,
    // made from the repository's root, and librsvg renders it.
    for (const char* name : {"typical", "temperature", "cancel"}) {
        const Result r = shell(std::string("cd " SOURCE_DIR " && ") + COOKER_PANEL_TRACE +
                               " --format=svg examples/" + name + ".keys");
        EXPECT_EQ(r.out, panel::test::slurp(std::string(SOURCE_DIR "/doc/") + name + ".svg")) << name;
        EXPECT_TRUE(!have("rsvg-convert") || shell("rsvg-convert >/dev/null", r.out).status == 0) << name;
    }
}

}  // namespace
