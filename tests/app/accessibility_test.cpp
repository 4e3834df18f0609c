// The real program's controls, found by their accessible names through the desktop's
// accessibility bus (AT-SPI), as a screen reader or a black-box test finds them.

#include <chrono>
#include <sstream>
#include <thread>

#include "tests/app/x11_session.h"

namespace permscope::app::testing {
namespace {

struct Node {
    std::string role;
    std::string name;
};

std::vector<Node> parse_tree(const std::string& output) {
    std::vector<Node> nodes;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto first = line.find('|');
        const auto second = line.find('|', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        nodes.push_back({line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return nodes;
}

bool has_node(const std::vector<Node>& nodes, const std::string& role, const std::string& name) {
    for (const Node& node : nodes)
        if (node.role == role && node.name == name)
            return true;
    return false;
}

using Accessibility = X11Session;

TEST_F(Accessibility, EveryVisibleControlIsFoundByItsName) {
    std::string command = "cd '" + start_folder() + "' && env";
    for (const std::string& entry : program_environment())
        command += " '" + entry + "'";
    command +=
        " QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 timeout 60 dbus-run-session -- /usr/bin/python3 "
        "'" PERMSCOPE_SOURCE_DIR "/tests/app/atspi_tree.py' '" PERMSCOPE_PROGRAM
        "' Permscope 2>/dev/null";
    const std::string output = run(command);
    const std::vector<Node> nodes = parse_tree(output);
    ASSERT_FALSE(nodes.empty()) << output;
    EXPECT_EQ(nodes.front().role, "application") << output;
    EXPECT_EQ(nodes.front().name, "Permscope");

    const Node expected[] = {
        {"label", "Title"}, {"label", "Close"},     {"text", "Path"},
        {"text", "Domain"}, {"combo box", "Drive"}, {"list", "Folders"},
        {"tree", "Users"},  {"tree", "Groups"},     {"push button", "Excel Export"},
        {"label", "Path"},  {"label", "Domain"},
    };
    for (const Node& node : expected)
        EXPECT_TRUE(has_node(nodes, node.role, node.name))
            << node.role << " \"" << node.name << "\"\n"
            << output;
    EXPECT_TRUE(has_node(nodes, "table column header", "Rights")) << output;
}

}  // namespace
}  // namespace permscope::app::testing
