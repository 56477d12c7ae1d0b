#include "loader/engine/port_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/loader/engine/line_fixtures.h"

namespace {

namespace fs = std::filesystem;
using engine_test::PseudoTerminal;
using flashup::listPortNames;

// Runs each test in a fresh temporary working directory and returns to the
// old one afterwards, so links left by one case cannot leak into another.
class PortListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "port_list_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        fs::current_path(directory_);
        directory_ = fs::current_path();  // as getcwd spells it
        ASSERT_TRUE(terminal_.ready());
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(directory_);
    }

    // The entries after COM1..COM8 and the machine's own devices: the links
    // of the working directory, which the list puts last.
    std::vector<std::string> workingDirectoryEntries() const {
        std::vector<std::string> found;
        for (const std::string& name : listPortNames()) {
            if (fs::path(name).parent_path() == directory_) found.push_back(name);
        }
        return found;
    }

    std::string inHere(const std::string& name) const { return (directory_ / name).string(); }

    fs::path previous_;
    fs::path directory_;
    PseudoTerminal terminal_;
};

TEST_F(PortListTest, StartsWithComOneToEight) {
    const std::vector<std::string> names = listPortNames();
    const std::vector<std::string> com = {"COM1", "COM2", "COM3", "COM4",
                                          "COM5", "COM6", "COM7", "COM8"};
    ASSERT_GE(names.size(), com.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 8), com);
    // Every other entry is a device path, never a bare name.
    for (size_t i = 8; i < names.size(); ++i) {
        EXPECT_EQ(names[i].front(), '/') << names[i];
    }
}

TEST_F(PortListTest, ListsOnlyLinksThatLeadToATerminal) {
    std::ofstream("plain.txt") << "not a port\n";
    fs::create_directory("folder");

    struct Case {
        const char* link;
        fs::path target;
        bool listed;
    };
    const Case cases[] = {
        {"ttyVANTORIUM", terminal_.path(), true},
        {"toRegularFile", directory_ / "plain.txt", false},
        {"dangling", directory_ / "nothing-here", false},
        {"toDirectory", directory_ / "folder", false},
        {"toDevNull", "/dev/null", false},        // a character device, no terminal
        {"toPtmx", "/dev/pts/ptmx", false},       // the multiplexer, no line
        {"toOwnTerminal", "/dev/tty", false},     // whoever runs the program
    };
    for (const Case& c : cases) fs::create_symlink(c.target, c.link);
    std::ofstream("ttyUSB7") << "a regular file with a port-like name\n";

    const std::vector<std::string> found = workingDirectoryEntries();
    for (const Case& c : cases) {
        const bool listed = std::find(found.begin(), found.end(), inHere(c.link)) != found.end();
        EXPECT_EQ(listed, c.listed) << c.link << " -> " << c.target;
    }
    EXPECT_EQ(found, std::vector<std::string>{inHere("ttyVANTORIUM")});
}

TEST_F(PortListTest, LinkThroughAnotherLinkAndRelativeTargetCount) {
    fs::create_symlink(terminal_.path(), "first");
    fs::create_symlink("first", "second");  // relative, and a chain
    EXPECT_EQ(workingDirectoryEntries(),
              (std::vector<std::string>{inHere("first"), inHere("second")}));
}

TEST_F(PortListTest, LinksComeLastInNaturalOrderWithoutDuplicates) {
    PseudoTerminal other;
    ASSERT_TRUE(other.ready());
    for (const char* name : {"port10", "port2", "Port1"}) {
        fs::create_symlink(terminal_.path(), name);
    }
    fs::create_symlink(other.path(), "port9");

    const std::vector<std::string> names = listPortNames();
    const std::vector<std::string> expected = {inHere("Port1"), inHere("port2"), inHere("port9"),
                                               inHere("port10")};
    ASSERT_GE(names.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()), expected);
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

}  // namespace
