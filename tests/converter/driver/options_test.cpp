#include "converter/driver/options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/driver/run_context.h"
#include "tests/support/test_support.h"

namespace {

using romcvt::ConversionSettings;

// The plain fields of the settings, comparable as a whole so that a case
// also catches a change to a field it did not mean to touch.
struct SettingsView {
    int format;
    bool quiet;
    int verbose;
    int32_t entry_point;
    bool image, zero, byte_addresses, boot;
    uint32_t fill_value;
    int32_t rom_width;
    bool rom_width_given;
    int32_t mem_width, data_width, line_length;
    int byte_order, boot_kind;
    bool warm_boot;
    int32_t boot_origin, boot_page;
    uint32_t spc, spce, arr, bkr, tcsr, trta, swwsr, bscr;
    std::vector<std::string> output_names;

    bool operator==(const SettingsView&) const = default;
};

SettingsView view(const ConversionSettings& s) {
    return {s.format,
            s.quiet,
            s.verbose,
            s.entry_point,
            s.image,
            s.zero,
            s.byte_addresses,
            s.boot,
            s.fill_value,
            s.rom_width,
            s.rom_width_given,
            s.mem_width,
            s.data_width,
            s.line_length,
            s.byte_order,
            s.boot_kind,
            s.warm_boot,
            s.boot_origin,
            s.boot_page,
            s.spc,
            s.spce,
            s.arr,
            s.bkr,
            s.tcsr,
            s.trta,
            s.swwsr,
            s.bscr,
            std::vector<std::string>(s.output_names.begin(), s.output_names.end())};
}

std::ostream& operator<<(std::ostream& out, const SettingsView& v) {
    out << "format=" << v.format << " quiet=" << v.quiet << " verbose=" << v.verbose
        << " entry=" << v.entry_point << " image=" << v.image << " zero=" << v.zero
        << " byte=" << v.byte_addresses << " boot=" << v.boot << " fill=" << v.fill_value
        << " rom=" << v.rom_width << " given=" << v.rom_width_given << " mem=" << v.mem_width
        << " data=" << v.data_width << " olength=" << v.line_length << " order=" << v.byte_order
        << " bootkind=" << v.boot_kind << " warm=" << v.warm_boot << " bootorg=" << v.boot_origin
        << " bootpage=" << v.boot_page << " regs=" << v.spc << "," << v.spce << "," << v.arr << ","
        << v.bkr << "," << v.tcsr << "," << v.trta << "," << v.swwsr << "," << v.bscr << " names=";
    for (const std::string& name : v.output_names) out << "[" << name << "]";
    return out;
}

// Feeds arguments to the option parser the way the driver does: an argument
// starting with "-" is an option whose value may consume the next one.
struct CommandLine {
    std::ostringstream out, err;
    std::istringstream in;
    romcvt::RunContext run{out, err, in};

    void apply(const std::vector<std::string>& arguments) {
        size_t next = 0;
        while (next < arguments.size()) {
            const std::string& argument = arguments[next++];
            ASSERT_EQ(argument.front(), '-') << "test arguments are options only";
            romcvt::CommandLineSource source(run, arguments, next);
            romcvt::apply_option(run, std::string_view(argument).substr(1), source);
        }
    }
};

struct OptionCase {
    std::vector<std::string> arguments;
    std::string console;
    std::function<void(SettingsView&)> expected;  // changes from the start values
    int error_level = 0;
};

TEST(Options, CommandLineTable) {
    const std::string long_name(300, 'n');
    const OptionCase cases[] = {
        // Formats, case-insensitive names.
        {{"-a"}, "", [](SettingsView& s) { s.format = 8; }},
        {{"-A"}, "", [](SettingsView& s) { s.format = 8; }},
        {{"-i"}, "", [](SettingsView& s) { s.format = 1; }},
        {{"-m"}, "", [](SettingsView& s) { s.format = 2; }},
        {{"-m1"}, "", [](SettingsView& s) { s.format = 3; }},
        {{"-M2"}, "", [](SettingsView& s) { s.format = 4; }},
        {{"-m3"}, "", [](SettingsView& s) { s.format = 5; }},
        {{"-t"}, "", [](SettingsView& s) { s.format = 6; }},
        {{"-a", "-x"}, "", [](SettingsView&) {}},
        {{"--d"}, "", [](SettingsView& s) { s.format = 0; }},
        // Generic format and the ROM width it implies.
        {{"--b"}, "", [](SettingsView& s) { s.format = 9; }},
        {{"--w"}, "", [](SettingsView& s) { s.format = 9, s.rom_width = 2; }},
        {{"--bogus"}, "", [](SettingsView& s) { s.format = 9; }},
        {{"-romwidth", "16", "--w"},
         "",
         [](SettingsView& s) { s.format = 9, s.rom_width = 2, s.rom_width_given = true; }},
        {{"-romwidth", "16", "--b"},
         "",
         [](SettingsView& s) { s.format = 9, s.rom_width = 2, s.rom_width_given = true; }},
        {{"--v", "--V"}, "", [](SettingsView& s) { s.verbose = 2; }},
        // Flags.
        {{"-Q", "-image", "-zero", "-byte", "-boot"},
         "",
         [](SettingsView& s) { s.quiet = s.image = s.zero = s.byte_addresses = s.boot = true; }},
        {{"-z"}, "", [](SettingsView& s) { s.zero = true; }},
        {{"-warm"}, "", [](SettingsView& s) { s.boot_kind = 4, s.warm_boot = true; }},
        // Invalid options change nothing; there are no abbreviations.
        {{"-v"}, ">> warning: invalid option: -v\n", [](SettingsView&) {}},
        {{"-rom"}, ">> warning: invalid option: -rom\n", [](SettingsView&) {}},
        {{"-Imagex"}, ">> warning: invalid option: -Imagex\n", [](SettingsView&) {}},
        {{"--x"}, ">> warning: invalid option: --x\n", [](SettingsView&) {}},
        {{"--"}, ">> warning: invalid option: --\n", [](SettingsView&) {}},
        {{"-"}, ">> warning: invalid option: -\n", [](SettingsView&) {}},
        // Numeric values.
        {{"-e", "0x10", "-bootpage", "3"},
         "",
         [](SettingsView& s) { s.entry_point = 16, s.boot_page = 3; }},
        {{"-e", "4294967295"}, "", [](SettingsView& s) { s.entry_point = -1; }},
        {{"-spc", "1", "-spce", "2", "-arr", "3", "-bkr", "4", "-tcsr", "5", "-trta", "6", "-swwsr",
          "7", "-BSCR", "8"},
         "",
         [](SettingsView& s) {
             s.spc = 1, s.spce = 2, s.arr = 3, s.bkr = 4, s.tcsr = 5, s.trta = 6, s.swwsr = 7,
             s.bscr = 8;
         }},
        {{"-e", "x"}, ">> warning: invalid value for -e option (ignored)\n", [](SettingsView&) {}},
        {{"-e"}, ">> warning: invalid value for -e option (ignored)\n", [](SettingsView&) {}},
        {{"-fill", "-a"},
         ">> warning: invalid value for -fill option (ignored)\n",
         [](SettingsView&) {}},
        {{"-fill", " 5"},
         ">> illegal input character: 0x20\n"
         ">> warning: invalid value for -fill option (ignored)\n",
         [](SettingsView&) {},
         1},
        {{"-Fill", ""},
         ">> illegal input character: 0x00\n"
         ">> warning: invalid value for -Fill option (ignored)\n",
         [](SettingsView&) {},
         1},
        // Fill values keep 16 bits.
        {{"-f", "0xFF"}, "", [](SettingsView& s) { s.fill_value = 0xFF; }},
        {{"-fill", "0x12345"},
         ">> warning: fill value truncated to 2 bytes: 2345\n",
         [](SettingsView& s) { s.fill_value = 0x2345; }},
        {{"-fill", "0x10000"},
         ">> warning: fill value truncated to 2 bytes: 0000\n",
         [](SettingsView&) {}},
        // Widths: bits in, bytes held, reset before the value is read.
        {{"-ROMWIDTH", "16"},
         "",
         [](SettingsView& s) { s.rom_width = 2, s.rom_width_given = true; }},
        {{"-romwidth", "12"},
         ">> illegal romwidth of 12, using romwidth=8\n",
         [](SettingsView& s) { s.rom_width_given = true; },
         1},
        {{"-romwidth", "16", "-romwidth", "x"},
         ">> warning: invalid value for -romwidth option (ignored)\n",
         [](SettingsView& s) { s.rom_width_given = true; }},
        {{"-memwidth", "32"}, "", [](SettingsView& s) { s.mem_width = 4; }},
        {{"-memwidth", "32", "-memwidth", "x"},
         ">> warning: invalid value for -memwidth option (ignored)\n",
         [](SettingsView&) {}},
        {{"-memwidth", "9"},
         ">> illegal memwidth of 9, using memwidth=16\n",
         [](SettingsView&) {},
         1},
        {{"-datawidth", "8"}, "", [](SettingsView& s) { s.data_width = 1; }},
        {{"-datawidth", "32", "-datawidth", "7"},
         ">> illegal datawidth of 7, using datawidth=16\n",
         [](SettingsView&) {},
         1},
        // Zero and negative widths pass the multiple-of-8 test but are refused.
        {{"-memwidth", "0"},
         ">> illegal memwidth of 0, using memwidth=16\n",
         [](SettingsView&) {},
         1},
        {{"-romwidth", "0xFFFFFFF0"},
         ">> illegal romwidth of -16, using romwidth=8\n",
         [](SettingsView& s) { s.rom_width_given = true; },
         1},
        {{"-datawidth", "0x80000000"},
         ">> illegal datawidth of -2147483648, using datawidth=16\n",
         [](SettingsView&) {},
         1},
        // Line length.
        {{"-olength", "0"},
         ">> warning: illegal value 0 for -olength, using 1\n",
         [](SettingsView& s) { s.line_length = 1; }},
        {{"-olength", "4294967295"},
         ">> warning: illegal value -1 for -olength, using 1\n",
         [](SettingsView& s) { s.line_length = 1; }},
        {{"-olength", "5", "-olength", "x"},
         ">> warning: invalid value for -olength option (ignored)\n",
         [](SettingsView& s) { s.line_length = 5; }},
        // Byte order: only the first character counts.
        {{"-order", "Motorola"}, "", [](SettingsView& s) { s.byte_order = 2; }},
        {{"-order", "ls"}, "", [](SettingsView& s) { s.byte_order = 1; }},
        {{"-order", "x"},
         ">> warning: invalid -order option: specify MS or LS\n",
         [](SettingsView&) {}},
        {{"-order", "   "},
         ">> warning: invalid -order option: specify MS or LS\n",
         [](SettingsView&) {}},
        {{"-order"}, ">> warning: invalid -order option: specify MS or LS\n", [](SettingsView&) {}},
        // Boot origin: an interface name or a number.
        {{"-bootorg", "SERIAL"}, "", [](SettingsView& s) { s.boot_kind = 2; }},
        {{"-bootorg", "comm"}, "", [](SettingsView& s) { s.boot_kind = 1; }},
        {{"-bootorg", "Parallel"}, "", [](SettingsView& s) { s.boot_kind = 3; }},
        {{"-bootorg", "WARM"}, "", [](SettingsView& s) { s.boot_kind = 4, s.warm_boot = true; }},
        {{"-bootorg", "0x8000"}, "", [](SettingsView& s) { s.boot_origin = 0x8000; }},
        {{"-bootorg", "12ab"}, "", [](SettingsView& s) { s.boot_origin = 12; }},
        {{"-bootorg", "serial2"},
         ">> warning: illegal value on -bootorg (ignored)\n",
         [](SettingsView&) {}},
        {{"-bootorg", "{"},
         ">> warning: illegal value on -bootorg (ignored)\n",
         [](SettingsView&) {}},
        {{"-bootorg"}, ">> warning: illegal value on -bootorg (ignored)\n", [](SettingsView&) {}},
        // Output names: the first blank-delimited word, whatever it is.
        {{"-o", "LSB.tmp", "-O", "MSB.tmp"},
         "",
         [](SettingsView& s) {
             s.output_names = {"LSB.tmp", "MSB.tmp"};
         }},
        {{"-o", "-a"}, "", [](SettingsView& s) { s.output_names = {"-a"}; }},
        {{"-o", "  x.hex y"}, "", [](SettingsView& s) { s.output_names = {"x.hex"}; }},
        {{"-o"}, ">> warning: no name on -o (ignored)\n", [](SettingsView&) {}},
        {{"-o", ""}, ">> warning: no name on -o (ignored)\n", [](SettingsView&) {}},
        // Over-long texts are refused whole.
        {{"-" + std::string(300, 'b')},
         ">> warning: option longer than 255 characters: -bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb... "
         "(ignored)\n",
         [](SettingsView&) {}},
        {{"-o", long_name, "-a"},
         ">> warning: value longer than 255 characters: " + long_name.substr(0, 32) +
             "... (ignored)\n>> warning: no name on -o (ignored)\n",
         [](SettingsView& s) { s.format = 8; }},
        {{"-fill", std::string(256, '1')},
         ">> warning: value longer than 255 characters: " + std::string(32, '1') +
             "... (ignored)\n>> warning: invalid value for -fill option (ignored)\n",
         [](SettingsView&) {}},
        {{"-o", std::string(255, 'k')},
         "",
         [](SettingsView& s) { s.output_names = {std::string(255, 'k')}; }},
    };
    const SettingsView start = view(ConversionSettings{});
    for (const OptionCase& c : cases) {
        std::string trace;
        for (const std::string& argument : c.arguments) trace += argument.substr(0, 40) + " ";
        SCOPED_TRACE(trace);
        CommandLine line;
        line.apply(c.arguments);
        SettingsView expected = start;
        c.expected(expected);
        EXPECT_EQ(line.out.str(), c.console);
        EXPECT_EQ(view(line.run.settings), expected);
        EXPECT_EQ(line.run.diag.error_level(), c.error_level);
    }
}

TEST(Options, MapFileIsCreatedEmptyAndReplaced) {
    test_support::ScratchDir dir;
    test_support::write_file("old.map", "old contents");
    CommandLine line;
    line.apply({"-map", "old.map"});
    EXPECT_EQ(line.out.str(), "");
    ASSERT_TRUE(line.run.settings.map_stream);
    EXPECT_EQ(line.run.settings.map_name, "old.map");
    EXPECT_EQ(test_support::read_file("old.map"), "");

    // CR LF go out as written.
    std::fputs("a\r\n", line.run.settings.map_stream.get());
    line.apply({"-MAP", "new.map"});
    EXPECT_EQ(test_support::read_file("old.map"), "a\r\n");
    EXPECT_EQ(line.run.settings.map_name, "new.map");
    EXPECT_TRUE(std::filesystem::exists("new.map"));

    // No name: the open map stays.
    line.apply({"-map"});
    EXPECT_EQ(line.out.str(), ">> warning: no name on -map (ignored)\n");
    EXPECT_TRUE(line.run.settings.map_stream);
    EXPECT_EQ(line.run.settings.map_name, "new.map");
}

TEST(Options, MapFileThatCannotBeOpenedLeavesNone) {
    test_support::ScratchDir dir;
    CommandLine line;
    line.apply({"-map", "first.map", "-map", "no/such/dir/x.map"});
    EXPECT_EQ(line.out.str(), ">> warning: cannot open map file no/such/dir/x.map\n");
    EXPECT_FALSE(line.run.settings.map_stream);
    EXPECT_EQ(line.run.settings.map_name, "");
    EXPECT_EQ(line.run.diag.error_level(), 0);
}

}  // namespace
