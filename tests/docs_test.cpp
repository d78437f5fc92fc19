// What the documentation shows must stay true: every example script says what
// it shows, and every command of the README's console blocks prints what is shown
// under it when run from the repository's root.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "test_support.h"

namespace {

using panel::test::Result;
using panel::test::slurp;

Result shell(const std::string& command) {
    return panel::test::run_program("/bin/sh", {"-c", "cd " SOURCE_DIR " && " + command});
}

// That each traces and passes its checks is the Scenarios test's to say.
TEST(Docs, EveryExampleSaysWhatItShows) {
    std::size_t examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SOURCE_DIR "/examples")) {
        const std::string name = entry.path().filename();
        ++examples;
        EXPECT_TRUE(slurp(entry.path()).starts_with("# ")) << name << ": no comment line first";
    }
    EXPECT_GE(examples, 5U);
}

// A line as it may differ between runs: the time an exploration took.
std::string steady(const std::string& line) {
    const std::size_t took = line.find(" cycles from the start; ");
    return took == std::string::npos ? line : line.substr(0, took);
}

TEST(Docs, ReadmeCommandsPrintWhatTheReadmeShows) {
    std::istringstream readme(slurp(SOURCE_DIR "/README.md"));
    std::vector<std::pair<std::string, std::string>> commands;  // command, what it prints
    bool console = false;
    std::size_t indent = 0;  // a block inside a list item is indented
    for (std::string line; std::getline(readme, line);) {
        const std::size_t text = line.find_first_not_of(' ');
        if (text != std::string::npos && line.compare(text, 3, "```") == 0) {
            console = line.compare(text, std::string::npos, "```console") == 0;
            indent = text;
            continue;
        }
        line.erase(0, std::min(indent, line.find_first_not_of(' ')));
        if (console && line.starts_with("$ ")) {
            commands.emplace_back(line.substr(2), "");
        } else if (console && !commands.empty()) {
            commands.back().second += steady(line) + "\n";
        }
    }
    ASSERT_GE(commands.size(), 4U);
    for (const auto& [command, shown] : commands) {
        // The programs of this build stand in for the release build's.
        std::string here = command;
        for (std::size_t at; (at = here.find("./build/release/")) != std::string::npos;)
            here.replace(at, 16, BINARY_DIR "/");
        const Result r = shell(here);
        std::istringstream printed(r.out);
        std::string steady_out;
        for (std::string line; std::getline(printed, line);) steady_out += steady(line) + "\n";
        EXPECT_EQ(steady_out, shown) << command;
    }
}

// 96875 as 96,875.
std::string grouped(unsigned long long n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// The explorer's figures are pinned once, in the golden its tests keep: the
// README's summary block shows its lines (and the time the search took), its
// prose the panel's own counts. With COOKER_PANEL_UPDATE_GOLDEN set, the
// README's figures are written from the golden instead (scripts/update-figures).
TEST(Docs, ReadmeShowsTheExplorersFiguresAsTheGoldenHoldsThem) {
    std::vector<std::string> golden;
    std::istringstream pinned(slurp(SOURCE_DIR "/tests/golden/explore.summary"));
    for (std::string line; std::getline(pinned, line);) golden.push_back(line);
    ASSERT_EQ(golden.size(), 8U);
    std::string readme = slurp(SOURCE_DIR "/README.md");
    const std::string command = "\n$ ./build/release/cooker-panel-explore\n";
    const std::size_t begin = readme.find(command) + command.size();
    std::size_t end = readme.find("\n```", begin);
    ASSERT_TRUE(begin >= command.size() && end != std::string::npos);
    // The time is the run's own: kept as the README shows it.
    const std::size_t took = readme.find(" cycles from the start; ", begin);
    const std::string time = took < end ? readme.substr(took + 22, readme.find('\n', took) - took - 22) : "";
    std::string block;
    for (std::size_t i = 0; i + 1 < golden.size(); ++i) block += golden[i] + (i == 0 ? time : "") + "\n";
    block.pop_back();
    unsigned long long states = 0, transitions = 0, loops = 0, inputs = 0, deepest = 0;
    ASSERT_EQ(std::sscanf(golden.back().c_str(),
                          "the panel's own: %llu states, %llu transitions (%llu of them self-loops) under %llu "
                          "inputs tried, the deepest %llu cycles from the start",
                          &states, &transitions, &loops, &inputs, &deepest),
              5)
        << golden.back();
    const std::regex own(R"(the panel's own states are(\s+)[\d,]+, with [\d,]+ distinct transitions(\s+)\([\d,]+ )"
                         R"(self-loops\) under [\d,]+(\s+)inputs, the deepest [\d,]+ cycles)");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(readme, found, own)) << "the panel's own counts are no longer in the README";
    // The counts as the README writes them, its line breaks kept.
    const std::string prose = "the panel's own states are" + found.str(1) + grouped(states) + ", with " +
                              grouped(transitions) + " distinct transitions" + found.str(2) + "(" + grouped(loops) +
                              " self-loops) under " + grouped(inputs) + found.str(3) + "inputs, the deepest " +
                              grouped(deepest) + " cycles";
    if (std::getenv("COOKER_PANEL_UPDATE_GOLDEN") != nullptr) {
        const auto at = found.position(0), length = found.length(0);
        readme.replace(std::size_t(at), std::size_t(length), prose);
        readme.replace(begin, end - begin, block);
        end = begin + block.size();
        std::ofstream(SOURCE_DIR "/README.md", std::ios::binary) << readme;
        ASSERT_TRUE(std::regex_search(readme, found, own));
    }
    EXPECT_EQ(readme.substr(begin, end - begin), block) << "the summary block is not the golden's";
    EXPECT_EQ(found.str(), prose) << "the panel's own counts are not the golden's";
}

}  // namespace
