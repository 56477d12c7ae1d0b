#include "converter/driver/driver.h"

#include <new>

#include "converter/coff/coff_reader.h"
#include "converter/driver/input_files.h"
#include "converter/driver/options.h"
#include "converter/driver/run_context.h"
#include "converter/memory/map_file.h"
#include "converter/memory/memory_config.h"
#include "converter/memory/router.h"
#include "converter/memory/sections.h"
#include "converter/output/output_format.h"

namespace romcvt {

namespace {

constexpr size_t kPromptLineLimit = 255;
constexpr int kBannerColumn = 27;

void print_banner(Diagnostics& diag) {
    diag.print_text("%-*.*s%s\n", kBannerColumn, kBannerColumn, kProductName, kVersionText);
    diag.print_text("Copyright (c) VANTORIUM firmware team. All rights reserved.\n");
}

bool suppresses_banner(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return false;
    const std::string& first = arguments.front();
    return first.size() >= 2 && first[0] == '-' && (first[1] == 'q' || first[1] == 'Q');
}

std::string read_prompt_answer(RunContext& run) {
    run.diag.print_text("   Input file [.out]: ");
    run.diag.flush();
    std::string line;
    if (!std::getline(run.prompt_input, line)) line.clear();
    if (line.size() > kPromptLineLimit) line.resize(kPromptLineLimit);
    return line;
}

void process_arguments(RunContext& run, const std::vector<std::string>& arguments) {
    bool any_input_name = false;
    size_t next = 0;
    while (next < arguments.size()) {
        const std::string& argument = arguments[next++];
        if (!argument.empty() && argument[0] == '-') {
            CommandLineSource source(run, arguments, next);
            apply_option(run, std::string_view(argument).substr(1), source);
        } else {
            any_input_name = true;
            open_input_file(run, argument);
        }
    }
    if (!any_input_name) open_input_file(run, read_prompt_answer(run));
}

// ROM words wider than a format's records take end a run before any output
// is written instead of producing wrong files.
void refuse_unavailable_output(RunContext& run) {
    const OutputFormat& format = output_format(run.settings.format);
    // A record line has room for one ROM word of at most this width.
    if (format.max_rom_width == 0) return;
    for (const auto& range : run.memory.roms_list) {
        if (range->rom_width > format.max_rom_width) {
            run.diag.report(kFatal, "%s output takes ROM words of at most %ld bits (aborting)",
                            format.name, static_cast<long>(format.max_rom_width) * 8);
        }
    }
}

// Made once the headers are in: the "Extended Tektronix" termination record
// carries the entry point of the optional header.
void make_output_writer(RunContext& run) {
    WriterParams params;
    params.line_length = run.settings.line_length;
    params.entry_point_address = run.coff.entry_point_address;
    params.diag = &run.diag;
    run.output.writer = output_format(run.settings.format).make_writer(params);
}

void choose_byte_order(RunContext& run) {
    ConversionSettings& settings = run.settings;
    if (settings.byte_order != kOrderNotSet) return;
    settings.byte_order = run.coff.big_endian_data ? kMostFirst : kLeastFirst;
    if (settings.boot) settings.byte_order = kMostFirst;
}

int run_steps(RunContext& run, const std::vector<std::string>& arguments) {
    if (!suppresses_banner(arguments)) print_banner(run.diag);
    process_arguments(run, arguments);
    if (!run.settings.input_stream) run.diag.report(kFatal, "no input files (aborting)");
    finish_memory_configuration(run);
    if (run.diag.error_level() != 0) {
        run.diag.report(kFatal, "fatal errors prevent conversion (aborting)");
    }
    refuse_unavailable_output(run);

    if (!read_coff_file(run)) {
        run.diag.report(kFatal, run.coff.coff_error == kCoffBadMagic
                                    ? "COFF file has wrong magic number"
                                    : "error reading COFF file");
    }
    run.settings.input_stream.reset();
    finish_image(run);
    return run.diag.error_level() != 0 ? 255 : 0;
}

}  // namespace

void conversion_start(RunContext& run) {
    uint32_t flags = run.coff.file_flags;
    run.device_code = (flags & kFileDevice48) ? 48 : (flags & kFileDevice45) ? 45 : 0;
    set_boot_defaults(run);
    select_sections(run);
    choose_byte_order(run);
    if (run.sections.selected_count == 0) {
        run.diag.report(kFatal, "no initialized sections in %s (aborting)",
                        run.settings.input_name->c_str());
    }
    make_output_writer(run);
    if (!run.settings.quiet) {
        run.diag.print_text("Translating %s to %s format...\n", run.settings.input_name->c_str(),
                            output_format(run.settings.format).name);
    }
    if (run.settings.map_stream) write_map_header(run);
    // No section is relocated: data is converted at the addresses the file
    // gives, so there is no relocation amount to set.
    run.memory.current_index = 0;
    run.memory.current_range = run.memory.roms_list.front().get();
}

int run_conversion(const std::vector<std::string>& arguments, std::ostream& console,
                   std::ostream& error_stream, std::istream& prompt_input) {
    RunContext run(console, error_stream, prompt_input);
    try {
        return run_steps(run, arguments);
    } catch (const FatalStop& stop) {
        return stop.exit_status;
    } catch (const std::bad_alloc&) {
        try {
            run.diag.report(kFatal, "out of memory (aborting)");
        } catch (const FatalStop& stop) {
            return stop.exit_status;
        }
    }
    return 255;
}

}  // namespace romcvt
