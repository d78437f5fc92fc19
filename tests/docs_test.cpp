// What the documentation shows must stay true: every example script traces,
// and every command of the README's console blocks prints what is shown
// under it when run from the repository's root.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace {

using panel::test::Result;
using panel::test::slurp;

Result shell(const std::string& command) {
    return panel::test::run_program("/bin/sh", {"-c", "cd " SOURCE_DIR " && " + command});
}

TEST(Docs, EveryExampleSaysWhatItShowsAndTraces) {
    std::size_t examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SOURCE_DIR "/examples")) {
        const std::string name = entry.path().filename();
        ++examples;
        EXPECT_TRUE(slurp(entry.path()).starts_with("# ")) << name << ": no comment line first";
        const Result r = shell(std::string(COOKER_PANEL_TRACE) + " --changes examples/" + name);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_NE(r.out.find("\n    1  "), std::string::npos) << name;
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

}  // namespace
