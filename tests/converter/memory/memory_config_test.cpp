#include "converter/memory/memory_config.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/run_context.h"
#include "converter/output/output_format.h"
#include "tests/support/test_support.h"

namespace {

using romcvt::RomRange;
using romcvt::RunContext;

// A run with the loader's options: ASCII-Hex output of fw417.out.
struct Harness {
    Harness() {
        run.settings.format = romcvt::kFormatAsciiHex;
        run.settings.input_name = "fw417.out";
    }
    std::ostringstream out, err;
    std::istringstream in;
    RunContext run{out, err, in};

    const RomRange& range(size_t i) const { return *run.memory.roms_list.at(i); }
    size_t range_count() const { return run.memory.roms_list.size(); }
};

// One range as a ROMS directive would define it; unset fields are not written.
struct RangeText {
    std::string name;
    std::optional<uint32_t> origin = {};
    std::optional<uint32_t> length = {};
    std::optional<uint32_t> rom_bits = {};
    std::optional<uint32_t> mem_bits = {};
    std::optional<uint32_t> fill = {};
    std::vector<std::string> files = {};
};

void define(RunContext& run, const RangeText& text) {
    romcvt::begin_range(run, text.name);
    if (text.origin) romcvt::set_range_origin(run, *text.origin);
    if (text.length) romcvt::set_range_length(run, *text.length);
    if (text.rom_bits) romcvt::set_range_rom_width(run, *text.rom_bits);
    if (text.mem_bits) romcvt::set_range_mem_width(run, *text.mem_bits);
    if (text.fill) romcvt::set_range_fill(run, *text.fill);
    for (const std::string& file : text.files) romcvt::add_range_file(run, file);
    romcvt::end_range(run);
}

void roms(RunContext& run, const std::vector<RangeText>& ranges) {
    romcvt::begin_roms_directive(run);
    for (const RangeText& text : ranges) define(run, text);
}

using Files = std::vector<std::string>;

TEST(MemoryConfig, LoaderCommandGivesTwoDefaultRanges) {
    Harness h;
    h.run.settings.output_names = {"LSB.tmp", "MSB.tmp"};
    romcvt::finish_memory_configuration(h.run);

    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.run.diag.error_level(), 0);
    ASSERT_EQ(h.range_count(), 2u);
    const char* names[] = {"*DEFAULT*", "*DEFAULT PAGE 1*"};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const RomRange& r = h.range(i);
        EXPECT_EQ(r.name, names[i]);
        EXPECT_EQ(r.page, static_cast<int32_t>(i));
        EXPECT_EQ(r.origin, 0u);
        EXPECT_EQ(r.end, 0xFFFFFFu);
        EXPECT_EQ(r.length, 0x1000000u);
        EXPECT_EQ(r.next_address, 0u);
        EXPECT_EQ(r.rom_width, 1);
        EXPECT_EQ(r.mem_width, 2);
        EXPECT_EQ(r.fill, 0u);
        EXPECT_EQ(r.file_count, 2);
    }
    EXPECT_EQ(h.range(0).files, (Files{"LSB.tmp", "MSB.tmp"}));
    EXPECT_EQ(h.range(1).files, (Files{"fw417.a10", "fw417.a11"}));
    EXPECT_TRUE(h.run.settings.output_names.empty());
    EXPECT_EQ(h.run.memory.current_range, nullptr);
}

// Every message of the ROMS directive and its completion, with what survives.
struct DiagnosticCase {
    const char* label;
    std::function<void(RunContext&)> act;
    const char* expected;
    int level;
    std::function<void(const RunContext&)> check;
};

const RomRange& first(const RunContext& run) { return *run.memory.roms_list.front(); }

TEST(MemoryConfig, EveryDiagnosticWithWhatSurvives) {
    const std::vector<DiagnosticCase> cases = {
        {"second ROMS directive",
         [](RunContext& run) {
             roms(run, {{.name = "A", .origin = 0, .length = 0x100}});
             roms(run, {{.name = "B", .origin = 0x100, .length = 0x100}});
         },
         ">> ROMS directive redefined\n", 1,
         [](const RunContext& run) { EXPECT_EQ(run.memory.roms_list.size(), 2u); }},
        {"origin twice",
         [](RunContext& run) {
             romcvt::begin_roms_directive(run);
             romcvt::begin_range(run, "A");
             romcvt::set_range_origin(run, 0x10);
             romcvt::set_range_origin(run, 0x20);
             romcvt::end_range(run);
         },
         ">> origin redefined for A\n", 1,
         [](const RunContext& run) { EXPECT_EQ(first(run).origin, 0x20u); }},
        {"length twice",
         [](RunContext& run) {
             romcvt::begin_roms_directive(run);
             romcvt::begin_range(run, "A");
             romcvt::set_range_length(run, 0x10);
             romcvt::set_range_length(run, 0x20);
             romcvt::end_range(run);
         },
         ">> length redefined for A\n", 1,
         [](const RunContext& run) { EXPECT_EQ(first(run).end, 0x1Fu); }},
        {"romwidth twice",
         [](RunContext& run) {
             romcvt::begin_roms_directive(run);
             romcvt::begin_range(run, "A");
             romcvt::set_range_rom_width(run, 8);
             romcvt::set_range_rom_width(run, 16);
             romcvt::end_range(run);
         },
         ">> width redefined for A\n", 1,
         [](const RunContext& run) { EXPECT_EQ(first(run).rom_width, 2); }},
        {"memwidth twice",
         [](RunContext& run) {
             romcvt::begin_roms_directive(run);
             romcvt::begin_range(run, "A");
             romcvt::set_range_mem_width(run, 8);
             romcvt::set_range_mem_width(run, 32);
             romcvt::end_range(run);
         },
         ">> memory width redefined for A\n", 1,
         [](const RunContext& run) { EXPECT_EQ(first(run).mem_width, 4); }},
        {"fill twice",
         [](RunContext& run) {
             romcvt::begin_roms_directive(run);
             romcvt::begin_range(run, "A");
             romcvt::set_range_fill(run, 0x1111);
             romcvt::set_range_fill(run, 0xDEADBEEF);
             romcvt::end_range(run);
         },
         ">> fill redefined for A\n", 1,
         [](const RunContext& run) { EXPECT_EQ(first(run).fill, 0xDEADBEEFu); }},
        {"romwidth 12 then finish uses the default",
         [](RunContext& run) {
             roms(run, {{.name = "A", .rom_bits = 12}});
             romcvt::finish_memory_configuration(run);
         },
         ">> warning: illegal width of 12 specified for A\n", 0,
         [](const RunContext& run) { EXPECT_EQ(first(run).rom_width, 1); }},
        {"romwidth 24 is a multiple of 8 but not a power of two",
         [](RunContext& run) { roms(run, {{.name = "A", .rom_bits = 24}}); },
         ">> warning: illegal width of 24 specified for A\n", 0,
         [](const RunContext& run) { EXPECT_EQ(first(run).rom_width, -1); }},
        {"memwidth 24", [](RunContext& run) { roms(run, {{.name = "A", .mem_bits = 24}}); },
         ">> warning: illegal memory width of 24 specified for A\n", 0,
         [](const RunContext& run) { EXPECT_EQ(first(run).mem_width, -1); }},
        {"origin and length missing with -image",
         [](RunContext& run) {
             run.settings.image = true;
             roms(run, {{.name = "A", .fill = 0}});
         },
         ">> origin missing on A (required for -image)\n"
         ">> length missing on A (required for -image)\n",
         1,
         [](const RunContext& run) {
             EXPECT_EQ(first(run).origin, 0u);
             EXPECT_EQ(first(run).end, 0xFFFFFFu);
         }},
        {"length wraps below the origin",
         [](RunContext& run) { roms(run, {{.name = "A", .origin = 0x10, .length = 0xFFFFFFF1}}); },
         ">> invalid length on A\n", 1, nullptr},
        {"-image without ROMS",
         [](RunContext& run) {
             run.settings.image = true;
             romcvt::finish_memory_configuration(run);
         },
         ">> -image requires ROMS directive\n", 1,
         [](const RunContext& run) { EXPECT_EQ(run.memory.roms_list.size(), 2u); }},
        {"-zero without -image",
         [](RunContext& run) {
             run.settings.zero = true;
             romcvt::finish_memory_configuration(run);
         },
         ">> warning: -zero requires -image: ignored\n", 0,
         [](const RunContext& run) { EXPECT_FALSE(run.settings.zero); }},
        {"more files named than needed",
         [](RunContext& run) {
             roms(run, {{.name = "A", .files = {"a", "b", "c"}}});
             romcvt::finish_memory_configuration(run);
         },
         ">> warning: too many output files for A (3 given, 2 used)\n", 0,
         [](const RunContext& run) {
             EXPECT_EQ(first(run).file_count, 2);
             EXPECT_EQ(first(run).files, (Files{"a", "b", "c"}));
         }},
        {"fewer files named than needed",
         [](RunContext& run) {
             run.settings.output_names = {"o1", "o2"};
             roms(run, {{.name = "A", .mem_bits = 32, .files = {"a"}}});
             romcvt::finish_memory_configuration(run);
         },
         ">> not enough output files for A (1 given, 4 needed)\n", 1,
         [](const RunContext& run) {
             EXPECT_EQ(first(run).files, (Files{"a", "o1", "o2", "fw417.a3"}));
         }},
    };
    for (const DiagnosticCase& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        c.act(h.run);
        EXPECT_EQ(h.out.str(), c.expected);
        EXPECT_EQ(h.run.diag.error_level(), c.level);
        if (c.check) c.check(h.run);
    }
}

struct OrderCase {
    const char* label;
    RangeText second;
    int32_t second_page;
    bool refused;
};

TEST(MemoryConfig, RangeOrderAgainstThePreviousRange) {
    // The first range is 0x100..0x1FF on page 1.
    const std::vector<OrderCase> cases = {
        {"origin equal to previous end", {.name = "B", .origin = 0x1FF, .length = 1}, 1, false},
        {"origin one below previous end", {.name = "B", .origin = 0x1FE, .length = 1}, 1, true},
        {"lower page, higher address", {.name = "B", .origin = 0x1000, .length = 1}, 0, true},
        {"higher page, lower address", {.name = "B", .origin = 0, .length = 1}, 2, false},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        romcvt::begin_roms_directive(h.run);
        romcvt::set_roms_page(h.run, 1);
        define(h.run, {.name = "A", .origin = 0x100, .length = 0x100});
        romcvt::set_roms_page(h.run, c.second_page);
        define(h.run, c.second);
        EXPECT_EQ(h.out.str(), c.refused ? ">> memory ranges A and B out of order\n" : "");
        ASSERT_EQ(h.range_count(), 2u);  // appended either way
        EXPECT_EQ(h.range(1).page, c.second_page);
    }
}

TEST(MemoryConfig, EndOfRangeFromOriginAndLength) {
    struct Case {
        RangeText text;
        uint32_t end;
        uint32_t length;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{.name = "A", .origin = 0, .length = 0}, 0xFFFFFFFF, 0, ""},
        {{.name = "A", .origin = 5, .length = 0}, 4, 0, ">> invalid length on A\n"},
        {{.name = "A", .origin = 0x10, .length = 0xFFFFFFF0}, 0xFFFFFFFF, 0xFFFFFFF0, ""},
        // No length without -image: the range stops at 0xFFFFFF even when that
        // lies below its origin, and holds nothing.
        {{.name = "A", .origin = 0x1000000}, 0xFFFFFF, 0, ""},
        {{.name = "A", .origin = 0x8000}, 0xFFFFFF, 0xFF8000, ""},
        {{.name = "A", .length = 0x10}, 0xF, 0x10, ""},
        // The all-ones value cannot be told from "not given".
        {{.name = "A", .origin = 0xFFFFFFFF, .length = 0xFFFFFFFF}, 0xFFFFFF, 0x1000000, ""},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        Harness h;
        roms(h.run, {c.text});
        EXPECT_EQ(h.out.str(), c.message);
        EXPECT_EQ(h.range(0).end, c.end);
        EXPECT_EQ(h.range(0).length, c.length);
        EXPECT_EQ(h.range(0).next_address, h.range(0).origin);
    }
}

TEST(MemoryConfig, RangeNameIsCutTo31Characters) {
    Harness h;
    std::string name(40, 'x');
    name.replace(0, 10, "0123456789");
    roms(h.run, {{.name = name, .origin = 0, .length = 1}});
    EXPECT_EQ(h.range(0).name, name.substr(0, 31));
}

TEST(MemoryConfig, PagesFollowPageEntriesAndRestartAtEachDirective) {
    Harness h;
    romcvt::begin_roms_directive(h.run);
    define(h.run, {.name = "A", .origin = 0, .length = 1});
    romcvt::set_roms_page(h.run, 3);
    define(h.run, {.name = "B", .origin = 0, .length = 1});
    EXPECT_TRUE(h.run.lexer.in_directive_mode());
    romcvt::begin_roms_directive(h.run);
    EXPECT_EQ(h.run.memory.roms_page, 0);
    EXPECT_EQ(h.range(0).page, 0);
    EXPECT_EQ(h.range(1).page, 3);
}

TEST(MemoryConfig, RangeAbandonedBySyntaxErrorNeverReachesTheList) {
    Harness h;
    romcvt::begin_roms_directive(h.run);
    romcvt::begin_range(h.run, "BROKEN");
    romcvt::set_range_origin(h.run, 0x5000);
    // The grammar drops the entry: no end_range. The next one begins.
    define(h.run, {.name = "A", .origin = 0, .length = 0x10});
    romcvt::begin_range(h.run, "ALSO_BROKEN");
    romcvt::finish_memory_configuration(h.run);

    EXPECT_EQ(h.out.str(), "");  // not out of order against BROKEN
    ASSERT_EQ(h.range_count(), 1u);
    EXPECT_EQ(h.range(0).name, "A");
    // Attributes after the end of a range have nowhere to go.
    romcvt::set_range_origin(h.run, 0x77);
    romcvt::add_range_file(h.run, "stray");
    EXPECT_EQ(h.range(0).origin, 0u);
    EXPECT_EQ(h.range(0).files.size(), 2u);
}

TEST(MemoryConfig, WidthsAreRaisedToTheTaggedFormatMinimum) {
    Harness h;
    h.run.settings.format = romcvt::kFormatTagged;
    roms(h.run, {{.name = "A", .mem_bits = 8},
                 {.name = "B", .origin = 0x1000000, .rom_bits = 32, .mem_bits = 32}});
    romcvt::finish_memory_configuration(h.run);
    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.range(0).mem_width, 2);
    EXPECT_EQ(h.range(0).rom_width, 2);
    EXPECT_EQ(h.range(0).files, (Files{"fw417.t00"}));
    EXPECT_EQ(h.range(1).rom_width, 4);
    EXPECT_EQ(h.range(1).files, (Files{"fw417.t10"}));
}

TEST(MemoryConfig, FillAndWidthsFromSettingsOnlyWhereNotGiven) {
    Harness h;
    h.run.settings.fill_value = 0xFFFF;
    h.run.settings.rom_width = 2;
    roms(h.run, {{.name = "A", .length = 0x100, .rom_bits = 8, .fill = 0x1234},
                 {.name = "B", .origin = 0x100, .length = 0x100}});
    romcvt::finish_memory_configuration(h.run);
    EXPECT_EQ(h.range(0).fill, 0x1234u);
    EXPECT_EQ(h.range(0).rom_width, 1);
    EXPECT_EQ(h.range(0).file_count, 2);
    EXPECT_EQ(h.range(1).fill, 0xFFFFu);
    EXPECT_EQ(h.range(1).rom_width, 2);
    EXPECT_EQ(h.range(1).file_count, 1);
}

TEST(MemoryConfig, OutputNamesAreSharedOutThenDefaultsFollow) {
    {
        SCOPED_TRACE("single range, memwidth 32, one -o name");
        Harness h;
        h.run.settings.output_names = {"first.hex"};
        roms(h.run, {{.name = "A", .rom_bits = 8, .mem_bits = 32}});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.out.str(), "");
        EXPECT_EQ(h.range(0).files, (Files{"first.hex", "fw417.a1", "fw417.a2", "fw417.a3"}));
    }
    {
        SCOPED_TRACE("two ranges take the -o names in list order");
        Harness h;
        h.run.settings.output_names = {"o1", "o2", "o3"};
        roms(h.run, {{.name = "A", .length = 0x100, .files = {"named"}},
                     {.name = "B", .origin = 0x100, .length = 0x100}});
        romcvt::finish_memory_configuration(h.run);
        // Naming one file of two is an error; the list is still completed.
        EXPECT_EQ(h.out.str(), ">> not enough output files for A (1 given, 2 needed)\n");
        EXPECT_EQ(h.range(0).files, (Files{"named", "o1"}));
        EXPECT_EQ(h.range(1).files, (Files{"o2", "o3"}));
    }
    {
        SCOPED_TRACE("surplus -o names are neither used nor reported");
        Harness h;
        h.run.settings.output_names = {"o1", "o2", "o3", "o4", "o5"};
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.out.str(), "");
        EXPECT_EQ(h.range(1).files, (Files{"o3", "o4"}));
        EXPECT_EQ(h.run.settings.output_names, (std::deque<std::string>{"o5"}));
    }
}

TEST(MemoryConfig, DefaultNamesComeFromTheInputBaseName) {
    struct Case {
        const char* input;
        int format;
        Files single;
    };
    const std::vector<Case> cases = {
        {"fw417.out", romcvt::kFormatAsciiHex, {"fw417.a0", "fw417.a1"}},
        {"dir/sub\\fw417.out", romcvt::kFormatIntel, {"fw417.i0", "fw417.i1"}},
        {"c:fw417", romcvt::kFormatMotorola, {"fw417.m0", "fw417.m1"}},
        // Two dots: the second-last extension is the one replaced.
        {"fw.417.out", romcvt::kFormatAsciiHex, {"fw.a0", "fw.a1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Harness h;
        h.run.settings.input_name = c.input;
        h.run.settings.format = c.format;
        roms(h.run, {{.name = "A", .length = 0x10}});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.range(0).files, c.single);
    }
}

TEST(MemoryConfig, BootMemoryWidthComesFromTheLastRangeHoldingTheBootOrigin) {
    {
        Harness h;
        h.run.settings.boot_origin = 0x8000;
        roms(h.run, {{.name = "LOW", .origin = 0, .length = 0x1000, .mem_bits = 32},
                     {.name = "B8", .origin = 0x8000, .length = 0x100, .mem_bits = 8},
                     {.name = "AGAIN", .origin = 0x8000, .length = 0x100, .mem_bits = 32}});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.run.boot.boot_mem_width, 4);
    }
    {
        Harness h;
        h.run.settings.boot_origin = 0x10;  // pages are not compared
        roms(h.run, {{.name = "A", .origin = 0x20, .length = 0x10},
                     {.name = "B", .origin = 0x30, .length = 0x10, .mem_bits = 8}});
        romcvt::set_roms_page(h.run, 1);
        define(h.run, {.name = "C", .origin = 0, .length = 0x100, .mem_bits = 8});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.run.boot.boot_mem_width, 1);
    }
    {
        // Not given: the all-ones origin must not match a range reaching the top.
        Harness h;
        roms(h.run, {{.name = "TOP", .origin = 0xFFFF0000, .length = 0x10000, .mem_bits = 8}});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.range(0).end, 0xFFFFFFFFu);
        EXPECT_EQ(h.run.boot.boot_mem_width, 2);
    }
}

// Widths reach the settings through options that only check for a multiple
// of 8, so zero, wrapped-around negative and odd-sized widths arrive here.
TEST(MemoryConfig, SettingWidthsMustBePowersOfTwoBytes) {
    struct Case {
        int32_t rom, mem, data;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1, 2, 2, ""},
        {4, 4, 4, ""},
        {0, 2, 2, ">> illegal romwidth of 0, a power of two of at least 8 is required\n"},
        {-1, 2, 2, ">> illegal romwidth of -8, a power of two of at least 8 is required\n"},
        {1, 0, 2, ">> illegal memwidth of 0, a power of two of at least 8 is required\n"},
        {1, -1, 2, ">> illegal memwidth of -8, a power of two of at least 8 is required\n"},
        // -memwidth 24, and -memwidth 48 with -romwidth 32.
        {1, 3, 2, ">> illegal memwidth of 24, a power of two of at least 8 is required\n"},
        {4, 6, 2, ">> illegal memwidth of 48, a power of two of at least 8 is required\n"},
        {1, 2, 0, ">> illegal datawidth of 0, a power of two of at least 8 is required\n"},
        {1, 2, -1, ">> illegal datawidth of -8, a power of two of at least 8 is required\n"},
        {1, 2, 3, ">> illegal datawidth of 24, a power of two of at least 8 is required\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rom << " " << c.mem << " " << c.data);
        Harness h;
        h.run.settings.rom_width = c.rom;
        h.run.settings.mem_width = c.mem;
        h.run.settings.data_width = c.data;
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.out.str(), c.expected);
        EXPECT_EQ(h.run.diag.error_level(), *c.expected ? 1 : 0);
        EXPECT_EQ(h.range_count(), 2u);
    }
}

// Eight writer slots and 64-bit memory word buffers are all the output side
// has; wider configurations are refused before any file is named.
TEST(MemoryConfig, RangesTooWideToWriteAreRefused) {
    struct Case {
        uint32_t rom_bits, mem_bits;
        const char* expected;
        size_t files;
    };
    const std::vector<Case> cases = {
        {8, 64, "", 8},
        {32, 64, "", 2},
        {64, 32, "", 1},
        {8, 128, ">> memory width of 128 is more than 8 times ROM width 8 for R\n", 0},
        {64, 128, ">> memory width of 128 is wider than 64 bits for R\n", 0},
        {128, 128, ">> memory width of 128 is wider than 64 bits for R\n", 0},
        // The largest width a directive accepts, without building millions of
        // file names.
        {8, 0x80000000, ">> memory width of 2147483648 is more than 8 times ROM width 8 for R\n",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rom_bits << "/" << c.mem_bits);
        Harness h;
        roms(h.run, {{.name = "R", .rom_bits = c.rom_bits, .mem_bits = c.mem_bits}});
        romcvt::finish_memory_configuration(h.run);
        EXPECT_EQ(h.out.str(), c.expected);
        EXPECT_EQ(h.run.diag.error_level(), *c.expected ? 1 : 0);
        EXPECT_EQ(h.range(0).files.size(), c.files);
    }
    // A refused range takes no -o name; the next range gets it.
    Harness h;
    h.run.settings.output_names = {"o1"};
    roms(h.run, {{.name = "WIDER", .rom_bits = 8, .mem_bits = 128},
                 {.name = "NEXT", .origin = 0x1000000, .length = 1}});
    romcvt::finish_memory_configuration(h.run);
    EXPECT_EQ(h.range(1).files, (Files{"o1", "fw417.a11"}));
}

TEST(MemoryConfig, SingleBitTest) {
    const std::vector<std::pair<uint32_t, bool>> cases = {
        {0, false},  {1, true},   {8, true},          {16, true},
        {24, false}, {12, false}, {0x80000000, true}, {0xFFFFFFFF, false},
    };
    for (auto [value, expected] : cases) {
        EXPECT_EQ(romcvt::is_single_bit(value), expected) << value;
    }
}

}  // namespace
