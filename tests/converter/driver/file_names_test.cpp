#include "converter/driver/file_names.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitFileName, DirectoryBaseAndExtension) {
    struct Case {
        const char* name;
        const char* directory;
        const char* base;
        const char* extension;
    } cases[] = {
        {"fw417.out", "", "fw417", "out"},
        {"dir.old/fw", "dir.old/", "fw", ""},
        {"C:\\fw\\a.b.c", "C:\\fw\\", "a.b", "c"},
        {"c:name.x", "c:", "name", "x"},
        {"", "", "", ""},
        {"noext", "", "noext", ""},
    };
    for (const Case& c : cases) {
        romcvt::SplitName parts = romcvt::split_file_name(c.name);
        EXPECT_EQ(parts.directory, c.directory) << c.name;
        EXPECT_EQ(parts.base, c.base) << c.name;
        EXPECT_EQ(parts.extension, c.extension) << c.name;
    }
    EXPECT_EQ(romcvt::split_file_name(std::string(300, 'a')).base.size(), 256u);
}

TEST(SetExtension, AddsOrReplacesAsAsked) {
    struct Case {
        const char* name;
        const char* extension;
        bool replace;
        const char* result;
    } cases[] = {
        {"fw417", ".out", false, "fw417.out"},
        {"fw417.bin", ".out", false, "fw417.bin"},
        {"dir.old/fw", ".out", false, "dir.old/fw.out"},
        {"dir.old\\fw", "out", false, "dir.old\\fw.out"},
        {"a:b.c", "x", true, "a:b.x"},  // a colon after the dot does not count
        {"fw417.out", ".a10", true, "fw417.a10"},
        {"fw417.x.out", "a0", true, "fw417.x.a0"},
        {"fw417.out", "", true, "fw417"},
        {"fw417", "", false, "fw417"},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        romcvt::set_extension(name, c.extension, c.replace);
        EXPECT_EQ(name, c.result) << c.name << " + " << c.extension;
    }
}

}  // namespace
