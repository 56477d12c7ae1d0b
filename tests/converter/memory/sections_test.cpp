#include "converter/memory/sections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "converter/coff/coff_reader.h"
#include "converter/driver/run_context.h"
#include "converter/memory/memory_config.h"
#include "converter/output/output_format.h"
#include "tests/support/test_support.h"

namespace {

using romcvt::CoffSection;
using romcvt::RunContext;
using romcvt::SectionSpec;

constexpr uint32_t kUninit = romcvt::kSectionUninitialized;
constexpr uint32_t kCopy = romcvt::kSectionCopy;

struct Harness {
    Harness() { run.settings.input_name = "fw417.out"; }
    std::ostringstream out, err;
    std::istringstream in;
    RunContext run{out, err, in};

    // A section with data unless raw is 0.
    void add(const char* name, uint32_t address, uint32_t size, uint32_t raw, uint32_t flags = 0,
             uint16_t page = 0) {
        CoffSection section;
        // Inline names are NUL-padded, not terminated, when they are eight long.
        std::memcpy(section.name, name, std::min(std::strlen(name), sizeof section.name));
        section.virtual_address = address;
        section.size_in_words = size;
        section.raw_data_offset = raw;
        section.flags = flags;
        section.page = page;
        run.coff.sections.push_back(section);
    }

    // The usual small program: code, data and uninitialized data.
    void add_text_data_bss() {
        add(".text", 0x1000, 0x100, 0x200);
        add(".data", 0x0080, 0x10, 0x400);
        add(".bss", 0x2000, 0x40, 0, kUninit);
    }

    std::vector<std::string> table_names() const {
        std::vector<std::string> names;
        for (const CoffSection& section : run.coff.sections) {
            names.push_back(romcvt::section_name(run, section));
        }
        return names;
    }

    const SectionSpec& spec(size_t i) const { return *run.sections.sections_list.at(i); }
    size_t spec_count() const { return run.sections.sections_list.size(); }

    // The name of the table record an entry is bound to, or "" when unbound.
    std::string bound_name(size_t i) const {
        int index = spec(i).section;
        if (index < 0) return "";
        return romcvt::section_name(run, run.coff.sections.at(static_cast<size_t>(index)));
    }
};

// One entry of a SECTIONS directive.
struct EntryText {
    std::string name;
    bool boot_first = false;  // BOOT before paddr
    std::optional<uint32_t> paddr = {};
    bool boot_after = false;  // BOOT after paddr
    std::optional<uint32_t> data_bits = {};
};

void sections(RunContext& run, const std::vector<EntryText>& entries) {
    romcvt::begin_sections_directive(run);
    for (const EntryText& e : entries) {
        romcvt::begin_section(run, e.name);
        if (e.boot_first) romcvt::set_section_boot(run);
        if (e.paddr) romcvt::set_section_paddr(run, *e.paddr);
        if (e.boot_after) romcvt::set_section_boot(run);
        if (e.data_bits) romcvt::set_section_data_width(run, *e.data_bits);
        romcvt::end_section(run);
    }
}

using Names = std::vector<std::string>;

TEST(Sections, DefaultListConvertsLoadableSectionsInAddressOrder) {
    Harness h;
    h.add_text_data_bss();
    romcvt::select_sections(h.run);

    EXPECT_EQ(h.out.str(), "");
    ASSERT_EQ(h.spec_count(), 3u);  // one entry per section, in table order
    EXPECT_EQ(h.spec(0).name, ".text");
    EXPECT_EQ(h.spec(1).name, ".data");
    EXPECT_EQ(h.spec(2).name, ".bss");
    EXPECT_EQ(h.run.sections.selected_count, 2);
    EXPECT_EQ(h.table_names(), (Names{".data", ".text", ".bss"}));
    EXPECT_EQ(h.bound_name(0), ".text");
    EXPECT_EQ(h.bound_name(1), ".data");
    EXPECT_EQ(h.spec(2).section, -1);
    EXPECT_EQ(h.spec(0).paddr, 0x1000u);
    EXPECT_EQ(h.spec(0).start_address, 0x1000u);
    EXPECT_EQ(h.spec(1).paddr, 0x80u);
    EXPECT_EQ(h.spec(0).data_width, 2);
    EXPECT_TRUE(h.spec(0).has(romcvt::kMarked));
    EXPECT_FALSE(h.run.settings.boot);
}

TEST(Sections, OnlyNamedSectionsStayInTheTable) {
    Harness h;
    h.add_text_data_bss();
    h.add(".empty", 0x3000, 0, 0x600);  // has raw data but no words
    sections(h.run, {{.name = ".data"}, {.name = ".empty"}});
    romcvt::select_sections(h.run);

    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.table_names(), (Names{".data", ".bss", ".empty"}));
    EXPECT_EQ(h.bound_name(0), ".data");
    EXPECT_EQ(h.spec(1).section, -1);
    EXPECT_EQ(h.run.sections.selected_count, 1);
}

TEST(Sections, NotLoadableSectionsAreSkippedSilently) {
    Harness h;
    h.add(".dummy", 0x10, 4, 0x100, romcvt::kSectionDummy);
    h.add(".noload", 0x20, 4, 0x200, romcvt::kSectionNoLoad);
    h.add(".nodata", 0x30, 4, 0);
    h.add(".text", 0x40, 4, 0x300);
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.run.sections.selected_count, 1);
    EXPECT_EQ(h.table_names(), (Names{".text", ".dummy", ".noload", ".nodata"}));
}

TEST(Sections, GivenPaddrAndDataWidthAreKeptAndPageComesFromTheSection) {
    Harness h;
    h.add(".text", 0x40, 0x100, 0x200, 0, 1);
    sections(h.run, {{.name = ".text", .paddr = 0x8000, .data_bits = 8}});
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.spec(0).paddr, 0x8000u);
    EXPECT_EQ(h.spec(0).start_address, 0x8000u);
    EXPECT_EQ(h.spec(0).data_width, 1);
    EXPECT_EQ(h.spec(0).page, 1);
}

TEST(Sections, ComputedPaddrScalesByDataAndMemoryWidth) {
    struct Case {
        int32_t data_width, mem_width;
        uint32_t address, paddr;
    };
    const std::vector<Case> cases = {
        {2, 2, 0x1234, 0x1234},
        {2, 1, 0x1234, 0x2468},  // 16-bit data, byte memory: twice the address
        {1, 2, 0x1234, 0x091A},  // two 8-bit data words per memory word
        {1, 1, 0x1234, 0x1234},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.data_width << "/" << c.mem_width);
        Harness h;
        h.run.settings.data_width = c.data_width;
        h.run.settings.mem_width = c.mem_width;
        h.add(".text", c.address, 0x10, 0x200, 0, 2);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.spec(0).paddr, c.paddr);
        EXPECT_EQ(h.spec(0).page, 2);
    }
    // An entry's own data width counts, not the setting.
    Harness h;
    h.add(".text", 0x100, 0x10, 0x200);
    sections(h.run, {{.name = ".text", .data_bits = 8}});
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.spec(0).paddr, 0x80u);
}

TEST(Sections, OrderIsPageThenUnsignedAddressWithTiesToTheEarlierEntry) {
    Harness h;
    h.add("hi", 0x80000000, 1, 0x100);
    h.add("p1", 0x10, 1, 0x200, 0, 1);
    h.add("lo", 0x20, 1, 0x300);
    h.add("tie_a", 0x50, 1, 0x400);
    h.add("tie_b", 0x40, 1, 0x500);
    // tie_b is placed where tie_a is; the directive lists tie_b first.
    sections(h.run, {{.name = "hi", .paddr = 0x80000000},
                     {.name = "p1"},
                     {.name = "lo"},
                     {.name = "tie_b", .paddr = 0x50},
                     {.name = "tie_a"}});
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.table_names(), (Names{"lo", "tie_b", "tie_a", "hi", "p1"}));
    for (size_t i = 0; i < h.spec_count(); ++i) EXPECT_EQ(h.bound_name(i), h.spec(i).name);
}

TEST(Sections, BootLoadedEntriesSitAtTheBootTableWithCinitLast) {
    Harness h;
    h.run.settings.boot_origin = 0x8000;
    h.run.settings.boot_page = 1;
    h.add(".cinit", 0x0500, 0x20, 0x100, kCopy);
    h.add(".text", 0x0040, 0x100, 0x200);
    h.add(".bss", 0x2000, 0x40, 0, kUninit);
    h.add(".data", 0x0010, 0x10, 0x300);
    h.add(".vect", 0x0000, 0x2, 0x400, 0, 1);
    sections(h.run, {{.name = ".cinit", .boot_first = true},
                     {.name = ".text", .paddr = 0x40, .boot_after = true},
                     {.name = ".data"},
                     {.name = ".vect", .paddr = 0x8000}});
    romcvt::select_sections(h.run);

    EXPECT_EQ(h.out.str(), "");  // boot after paddr is accepted
    EXPECT_TRUE(h.run.settings.boot);
    // .vect shares the boot table key: it follows .text, and .cinit yields to it.
    EXPECT_EQ(h.table_names(), (Names{".data", ".text", ".vect", ".cinit", ".bss"}));
    const SectionSpec& cinit = h.spec(0);
    EXPECT_TRUE(cinit.has(romcvt::kRamCinit));
    EXPECT_EQ(cinit.paddr, 0x8000u);
    EXPECT_EQ(cinit.page, 1);
    EXPECT_EQ(h.spec(1).paddr, 0x8000u);
    EXPECT_EQ(h.spec(1).start_address, 0x8000u);
}

TEST(Sections, BootOptionMakesEveryDefaultEntryBootLoaded) {
    Harness h;
    h.run.settings.boot = true;
    h.run.settings.boot_origin = 0x400;
    h.add_text_data_bss();
    romcvt::select_sections(h.run);
    for (size_t i = 0; i < h.spec_count(); ++i) EXPECT_TRUE(h.spec(i).has(romcvt::kBootLoaded));
    EXPECT_TRUE(h.run.settings.boot);
    // Both at the boot table position: table order follows the list.
    EXPECT_EQ(h.table_names(), (Names{".text", ".data", ".bss"}));
}

TEST(Sections, BootSettingFollowsTheBoundEntries) {
    struct Case {
        const char* label;
        std::vector<EntryText> entries;
        bool boot;
    };
    const std::vector<Case> cases = {
        {"no boot entry", {{.name = ".text"}}, false},
        {"boot entry bound", {{.name = ".text", .boot_first = true}}, true},
        {"boot entry without data",
         {{.name = ".text"}, {.name = ".bss", .boot_first = true}},
         false},
        {"boot entry not found", {{.name = ".text"}, {.name = ".nope", .boot_first = true}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.run.settings.boot = true;  // -boot given, but SECTIONS decides
        h.add_text_data_bss();
        sections(h.run, c.entries);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.run.settings.boot, c.boot);
    }
}

TEST(Sections, RamModelCinitIsPlacedAtBssAndRefusedWithImage) {
    {
        Harness h;
        h.add(".cinit", 0x0500, 0x20, 0x100, kCopy);
        h.add(".bss", 0x2000, 0x40, 0, kUninit, 1);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), "");
        EXPECT_TRUE(h.spec(0).has(romcvt::kRamCinit));
        EXPECT_EQ(h.spec(0).paddr, 0x2000u);
        EXPECT_EQ(h.spec(0).page, 1);
    }
    {
        // Without a .bss the .cinit is its own placement.
        Harness h;
        h.add(".cinit", 0x0500, 0x20, 0x100, kCopy);
        h.add(".bss", 0x2000, 0x40, 0);  // not flagged uninitialized
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.spec(0).paddr, 0x500u);
    }
    {
        Harness h;
        h.run.settings.image = true;
        h.add(".text", 0x0040, 0x100, 0x200);
        h.add(".cinit", 0x0500, 0x20, 0x100, kCopy);
        h.add(".bss", 0x2000, 0x40, 0, kUninit);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), ">> warning: can't convert RAM-model .cinit with -image\n");
        EXPECT_EQ(h.spec(1).section, -1);
        EXPECT_FALSE(h.spec(1).has(romcvt::kRamCinit));
        EXPECT_EQ(h.table_names(), (Names{".text", ".bss"}));
    }
    {
        // Boot-loaded, the table records travel in the boot table instead.
        Harness h;
        h.run.settings.image = true;
        h.run.settings.boot = true;
        h.run.settings.boot_origin = 0;
        h.add(".cinit", 0x0500, 0x20, 0x100, kCopy);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), "");
        EXPECT_EQ(h.bound_name(0), ".cinit");
    }
    {
        // A ROM-model .cinit (no copy flag) is an ordinary section.
        Harness h;
        h.run.settings.image = true;
        h.add(".cinit", 0x0500, 0x20, 0x100);
        h.add(".bss", 0x2000, 0x40, 0, kUninit);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), "");
        EXPECT_FALSE(h.spec(0).has(romcvt::kRamCinit));
        EXPECT_EQ(h.spec(0).paddr, 0x500u);
    }
}

TEST(Sections, DuplicateNamesKeepTheFirstEntry) {
    {
        Harness h;
        h.add_text_data_bss();
        sections(h.run, {{.name = ".text", .paddr = 0x100}, {.name = ".text", .paddr = 0x200}});
        EXPECT_EQ(h.out.str(), ">> warning: duplicate section name '.text' (ignored)\n");
        ASSERT_EQ(h.spec_count(), 1u);
        EXPECT_EQ(h.spec(0).paddr, 0x100u);
        EXPECT_EQ(h.run.sections.current_spec, nullptr);
    }
    {
        // Two COFF sections of one name: one default entry, bound to the first.
        Harness h;
        h.add(".text", 0x100, 0x10, 0x200);
        h.add(".text", 0x040, 0x10, 0x300);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), ">> warning: duplicate section name '.text' (ignored)\n");
        ASSERT_EQ(h.spec_count(), 1u);
        EXPECT_EQ(h.spec(0).paddr, 0x100u);
        EXPECT_EQ(h.run.coff.sections.size(), 1u);
        EXPECT_EQ(h.run.coff.sections[0].raw_data_offset, 0x200u);
    }
}

TEST(Sections, EntryNamingNoSectionIsReported) {
    Harness h;
    h.add_text_data_bss();
    sections(h.run, {{.name = ".text"}, {.name = ".TEXT"}});  // matching is case-sensitive
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.out.str(), ">> warning: section .TEXT not found in fw417.out\n");
    EXPECT_EQ(h.spec(1).section, -1);
    EXPECT_EQ(h.spec(1).data_width, 2);  // the default width is set before the search
}

TEST(Sections, LongEntryNamesMatchStringTableNames) {
    Harness h;
    h.run.coff.string_table = std::string(".text\0.application_code", 23);
    h.run.coff.has_string_table = true;
    h.add("", 0x100, 0x10, 0x200);
    h.run.coff.sections.back().string_offset = 10;
    h.add(".text", 0x40, 0x10, 0x300);
    sections(h.run, {{.name = ".application_code"}});
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.out.str(), "");
    EXPECT_EQ(h.bound_name(0), ".application_code");
    EXPECT_EQ(h.table_names(), (Names{".application_code"}));
}

// Every message of the SECTIONS directive, with what survives.
TEST(Sections, DirectiveDiagnosticsWithWhatSurvives) {
    struct Case {
        const char* label;
        std::function<void(RunContext&)> act;
        const char* expected;
        int level;
        std::function<void(const SectionSpec&)> check;
    };
    using namespace romcvt;
    const std::vector<Case> cases = {
        {"second directive",
         [](RunContext& run) {
             sections(run, {{.name = "a"}});
             sections(run, {{.name = "b"}});
         },
         ">> SECTIONS directive redefined\n", 1, nullptr},
        {"boot twice",
         [](RunContext& run) {
             sections(run, {{.name = "a", .boot_first = true, .boot_after = true}});
         },
         ">> bootflag reset for a\n", 1,
         [](const SectionSpec& s) { EXPECT_TRUE(s.has(kBootLoaded)); }},
        {"paddr twice",
         [](RunContext& run) {
             begin_sections_directive(run);
             begin_section(run, "a");
             set_section_paddr(run, 0x100);
             set_section_paddr(run, 0x200);
             end_section(run);
         },
         ">> physical address redefined for a\n", 1,
         [](const SectionSpec& s) {
             EXPECT_EQ(s.paddr, 0x100u);
             EXPECT_EQ(s.start_address, 0x100u);
         }},
        {"paddr after boot",
         [](RunContext& run) {
             sections(run, {{.name = "a", .boot_first = true, .paddr = 0x100}});
         },
         ">> physical address redefined for a\n", 1,
         [](const SectionSpec& s) { EXPECT_EQ(s.paddr, kNotGiven); }},
        {"datawidth twice",
         [](RunContext& run) {
             begin_sections_directive(run);
             begin_section(run, "a");
             set_section_data_width(run, 8);
             set_section_data_width(run, 32);
             end_section(run);
         },
         ">> datawidth redefined for a\n", 1,
         [](const SectionSpec& s) { EXPECT_EQ(s.data_width, 4); }},
        {"datawidth twice, second illegal",
         [](RunContext& run) {
             begin_sections_directive(run);
             begin_section(run, "a");
             set_section_data_width(run, 8);
             set_section_data_width(run, 24);
             end_section(run);
         },
         ">> datawidth redefined for a\n>> warning: illegal datawidth of 24 specified for a\n", 1,
         [](const SectionSpec& s) { EXPECT_EQ(s.data_width, 1); }},
        {"datawidth 12", [](RunContext& run) { sections(run, {{.name = "a", .data_bits = 12}}); },
         ">> warning: illegal datawidth of 12 specified for a\n", 0,
         [](const SectionSpec& s) { EXPECT_EQ(s.data_width, -1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        c.act(h.run);
        EXPECT_EQ(h.out.str(), c.expected);
        EXPECT_EQ(h.run.diag.error_level(), c.level);
        EXPECT_TRUE(h.run.lexer.in_directive_mode());
        if (c.check) c.check(h.spec(0));
    }
}

TEST(Sections, EntryAbandonedBySyntaxErrorNeverReachesTheList) {
    Harness h;
    h.add_text_data_bss();
    romcvt::begin_sections_directive(h.run);
    romcvt::begin_section(h.run, ".data");
    romcvt::set_section_paddr(h.run, 0x9000);
    // Dropped by the grammar: no end_section. A later .data is no duplicate.
    sections(h.run, {{.name = ".data"}});
    romcvt::begin_section(h.run, ".text");
    romcvt::select_sections(h.run);
    EXPECT_EQ(h.out.str(), "");  // the list was still empty at the second directive
    ASSERT_EQ(h.spec_count(), 1u);
    EXPECT_EQ(h.spec(0).paddr, 0x80u);
    EXPECT_EQ(h.table_names(), (Names{".data", ".bss"}));
}

TEST(Sections, MemwidthInRomsWithComputedPaddrIsReportedOncePerRange) {
    const char* message = ">> Warning: Use of memwidth in ROMS without paddr in SECTIONS.\n";
    struct Case {
        const char* label;
        std::vector<EntryText> entries;  // empty: default list
        uint32_t second_mem_bits;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"computed, one range differs", {}, 16, message},
        {"computed, two ranges differ", {}, 32, std::string(message) + message},
        {"all given", {{.name = ".text", .paddr = 0}, {.name = ".data", .paddr = 0}}, 32, ""},
        {"boot-loaded only", {{.name = ".text", .boot_first = true}}, 32, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.run.settings.format = romcvt::kFormatAsciiHex;
        h.run.settings.boot_origin = 0;
        romcvt::begin_roms_directive(h.run);
        romcvt::begin_range(h.run, "BYTES");
        romcvt::set_range_length(h.run, 0x100);
        romcvt::set_range_mem_width(h.run, 8);
        romcvt::end_range(h.run);
        romcvt::begin_range(h.run, "WORDS");
        romcvt::set_range_origin(h.run, 0x100);
        romcvt::set_range_mem_width(h.run, c.second_mem_bits);
        romcvt::end_range(h.run);
        romcvt::finish_memory_configuration(h.run);
        ASSERT_EQ(h.out.str(), "");
        h.add_text_data_bss();
        if (!c.entries.empty()) sections(h.run, c.entries);
        romcvt::select_sections(h.run);
        EXPECT_EQ(h.out.str(), c.expected);
        EXPECT_EQ(h.run.diag.error_level(), c.expected.empty() ? 0 : 1);
    }
}

}  // namespace
