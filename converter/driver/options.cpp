#include "converter/driver/options.h"

#include <algorithm>
#include <cstdio>

#include "converter/driver/run_context.h"
#include "converter/output/output_format.h"

namespace romcvt {

namespace {

// Option texts and command-line values beyond this length are refused.
constexpr size_t kTextLimit = 255;
// How much of a refused over-long text the message shows.
constexpr int kShownLength = 32;

enum class OptionId {
    kFormat,
    kGenericBytes,
    kGenericWords,
    kVerbose,
    kQuiet,
    kEntry,
    kOutput,
    kMap,
    kImage,
    kZero,
    kByte,
    kBoot,
    kFill,
    kRomWidth,
    kMemWidth,
    kDataWidth,
    kLineLength,
    kOrder,
    kBootOrigin,
    kWarm,
    kBootPage,
    kRegister,
};

struct NamedOption {
    std::string_view name;
    OptionId id;
    int format = -1;                                // kFormat: the row it selects
    uint32_t ConversionSettings::*field = nullptr;  // kRegister: the field it sets
};

constexpr NamedOption kOneLetterOptions[] = {
    {"a", OptionId::kFormat, kFormatAsciiHex},
    {"e", OptionId::kEntry},
    {"i", OptionId::kFormat, kFormatIntel},
    {"m", OptionId::kFormat, kFormatMotorola},
    {"o", OptionId::kOutput},
    {"q", OptionId::kQuiet},
    {"t", OptionId::kFormat, kFormatTagged},
    {"x", OptionId::kFormat, kFormatTektronix},
};

// Exact names only: "z" and "f" are the only short forms.
constexpr NamedOption kNamedOptions[] = {
    {"m1", OptionId::kFormat, kFormatMotorolaS1},
    {"m2", OptionId::kFormat, kFormatMotorolaS2},
    {"m3", OptionId::kFormat, kFormatMotorolaS3},
    {"image", OptionId::kImage},
    {"zero", OptionId::kZero},
    {"z", OptionId::kZero},
    {"byte", OptionId::kByte},
    {"boot", OptionId::kBoot},
    {"fill", OptionId::kFill},
    {"f", OptionId::kFill},
    {"romwidth", OptionId::kRomWidth},
    {"memwidth", OptionId::kMemWidth},
    {"datawidth", OptionId::kDataWidth},
    {"olength", OptionId::kLineLength},
    {"order", OptionId::kOrder},
    {"bootorg", OptionId::kBootOrigin},
    {"warm", OptionId::kWarm},
    {"spc", OptionId::kRegister, -1, &ConversionSettings::spc},
    {"spce", OptionId::kRegister, -1, &ConversionSettings::spce},
    {"arr", OptionId::kRegister, -1, &ConversionSettings::arr},
    {"bkr", OptionId::kRegister, -1, &ConversionSettings::bkr},
    {"tcsr", OptionId::kRegister, -1, &ConversionSettings::tcsr},
    {"trta", OptionId::kRegister, -1, &ConversionSettings::trta},
    {"swwsr", OptionId::kRegister, -1, &ConversionSettings::swwsr},
    {"bscr", OptionId::kRegister, -1, &ConversionSettings::bscr},
    {"map", OptionId::kMap},
    {"bootpage", OptionId::kBootPage},
};

// The options written with two dashes: only the second character counts.
constexpr NamedOption kDashOptions[] = {
    {"b", OptionId::kGenericBytes},
    {"d", OptionId::kFormat, kFormatDebug},
    {"v", OptionId::kVerbose},
    {"w", OptionId::kGenericWords},
};

int length_of(std::string_view text) { return static_cast<int>(text.size()); }

char to_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return to_lower(x) == to_lower(y);
           });
}

const NamedOption* find_in(const auto& table, std::string_view name) {
    for (const NamedOption& option : table) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

const NamedOption* recognise(std::string_view lowered) {
    if (lowered.size() == 1) {
        if (const NamedOption* option = find_in(kOneLetterOptions, lowered)) return option;
    }
    if (const NamedOption* option = find_in(kNamedOptions, lowered)) return option;
    if (lowered.size() >= 2 && lowered[0] == '-') {
        return find_in(kDashOptions, lowered.substr(1, 1));
    }
    return nullptr;
}

std::optional<uint32_t> take_number(RunContext& run, std::string_view written,
                                    OptionSource& source) {
    Token token = source.take_value();
    if (token.kind == kTokenNumber) return token.value;
    run.diag.report(kWarning, "invalid value for -%.*s option (ignored)", length_of(written),
                    written.data());
    return std::nullopt;
}

// Widths arrive in bits and are held in bytes. A width of zero bits, or a
// negative one written through wrap-around, passes the multiple-of-8 test
// but would be a divisor of zero or less later, so it is refused as well.
std::optional<int32_t> width_in_bytes(uint32_t bits) {
    int32_t value = static_cast<int32_t>(bits);
    if ((value & 7) != 0 || value <= 0) return std::nullopt;
    return value >> 3;
}

void apply_fill(RunContext& run, std::string_view written, OptionSource& source) {
    std::optional<uint32_t> value = take_number(run, written, source);
    if (!value) return;
    if (*value > 0xFFFFu) {
        *value &= 0xFFFFu;
        run.diag.report(kWarning, "fill value truncated to %d bytes: %0*lx", 2, 4,
                        static_cast<unsigned long>(*value));
    }
    run.settings.fill_value = *value;
}

void apply_map(RunContext& run, OptionSource& source) {
    std::optional<std::string> name = source.take_name();
    if (!name) {
        run.diag.report(kWarning, "no name on -map (ignored)");
        return;
    }
    ConversionSettings& settings = run.settings;
    settings.map_stream.reset();
    settings.map_name.clear();
    // Binary: the map writer puts CR LF itself.
    settings.map_stream.reset(std::fopen(name->c_str(), "wb"));
    if (!settings.map_stream) {
        run.diag.report(kWarning, "cannot open map file %s", name->c_str());
        return;
    }
    settings.map_name = *name;
}

void apply_order(RunContext& run, OptionSource& source) {
    std::optional<std::string> name = source.take_name();
    char first = name && !name->empty() ? to_lower(name->front()) : '\0';
    if (first == 'm') {
        run.settings.byte_order = kMostFirst;
    } else if (first == 'l') {
        run.settings.byte_order = kLeastFirst;
    } else {
        run.diag.report(kWarning, "invalid -order option: specify MS or LS");
    }
}

void apply_boot_origin(RunContext& run, OptionSource& source) {
    Token token = source.take_value();
    ConversionSettings& settings = run.settings;
    if (token.kind == kTokenNumber) {
        settings.boot_origin = static_cast<int32_t>(token.value);
        return;
    }
    if (token.kind == kTokenName) {
        const std::string& name = *token.text;
        if (equal_ignoring_case(name, "comm")) {
            settings.boot_kind = kBootComm;
            return;
        }
        if (equal_ignoring_case(name, "serial")) {
            settings.boot_kind = kBootSerial;
            return;
        }
        if (equal_ignoring_case(name, "parallel")) {
            settings.boot_kind = kBootParallel;
            return;
        }
        if (equal_ignoring_case(name, "warm")) {
            settings.boot_kind = kBootWarm;
            settings.warm_boot = true;
            return;
        }
    }
    run.diag.report(kWarning, "illegal value on -bootorg (ignored)");
}

void apply_line_length(RunContext& run, std::string_view written, OptionSource& source) {
    ConversionSettings& settings = run.settings;
    if (std::optional<uint32_t> value = take_number(run, written, source)) {
        settings.line_length = static_cast<int32_t>(*value);
    }
    if (settings.line_length <= 0) {
        run.diag.report(kWarning, "illegal value %ld for -olength, using 1",
                        static_cast<long>(settings.line_length));
        settings.line_length = 1;
    }
}

void apply_width(RunContext& run, OptionId id, std::string_view written, OptionSource& source) {
    ConversionSettings& settings = run.settings;
    // The reset comes first, so an invalid value leaves the start value.
    int32_t ConversionSettings::*field = &ConversionSettings::rom_width;
    if (id == OptionId::kRomWidth) {
        settings.rom_width_given = true;
        settings.rom_width = 1;
    } else if (id == OptionId::kMemWidth) {
        field = &ConversionSettings::mem_width;
        settings.mem_width = 2;
    } else {
        field = &ConversionSettings::data_width;
        settings.data_width = 2;
    }
    std::optional<uint32_t> bits = take_number(run, written, source);
    if (!bits) return;
    if (std::optional<int32_t> bytes = width_in_bytes(*bits)) {
        settings.*field = *bytes;
        return;
    }
    long shown = static_cast<int32_t>(*bits);
    if (id == OptionId::kRomWidth) {
        run.diag.report(kError, "illegal romwidth of %ld, using romwidth=8", shown);
    } else if (id == OptionId::kMemWidth) {
        run.diag.report(kError, "illegal memwidth of %ld, using memwidth=%d", shown, 16);
    } else {
        run.diag.report(kError, "illegal datawidth of %ld, using datawidth=%d", shown, 16);
    }
}

void apply(RunContext& run, const NamedOption& option, std::string_view written,
           OptionSource& source) {
    ConversionSettings& settings = run.settings;
    switch (option.id) {
        case OptionId::kFormat:
            settings.format = option.format;
            break;
        case OptionId::kGenericBytes:
        case OptionId::kGenericWords:
            settings.format = kFormatGeneric;
            if (!settings.rom_width_given) {
                settings.rom_width = option.id == OptionId::kGenericBytes ? 1 : 2;
            }
            break;
        case OptionId::kVerbose:
            ++settings.verbose;
            break;
        case OptionId::kQuiet:
            settings.quiet = true;
            break;
        case OptionId::kImage:
            settings.image = true;
            break;
        case OptionId::kZero:
            settings.zero = true;
            break;
        case OptionId::kByte:
            settings.byte_addresses = true;
            break;
        case OptionId::kBoot:
            settings.boot = true;
            break;
        case OptionId::kWarm:
            settings.boot_kind = kBootWarm;
            settings.warm_boot = true;
            break;
        case OptionId::kEntry:
            if (auto value = take_number(run, written, source)) {
                settings.entry_point = static_cast<int32_t>(*value);
            }
            break;
        case OptionId::kBootPage:
            if (auto value = take_number(run, written, source)) {
                settings.boot_page = static_cast<int32_t>(*value);
            }
            break;
        case OptionId::kRegister:
            if (auto value = take_number(run, written, source)) settings.*option.field = *value;
            break;
        case OptionId::kOutput:
            if (std::optional<std::string> name = source.take_name()) {
                settings.output_names.push_back(std::move(*name));
            } else {
                run.diag.report(kWarning, "no name on -o (ignored)");
            }
            break;
        case OptionId::kMap:
            apply_map(run, source);
            break;
        case OptionId::kFill:
            apply_fill(run, written, source);
            break;
        case OptionId::kRomWidth:
        case OptionId::kMemWidth:
        case OptionId::kDataWidth:
            apply_width(run, option.id, written, source);
            break;
        case OptionId::kLineLength:
            apply_line_length(run, written, source);
            break;
        case OptionId::kOrder:
            apply_order(run, source);
            break;
        case OptionId::kBootOrigin:
            apply_boot_origin(run, source);
            break;
    }
}

// A command-line value longer than the line buffer is refused whole rather
// than cut, so that no option works on a silently shortened name.
bool refuse_long_value(RunContext& run, const std::string& argument) {
    if (argument.size() <= kTextLimit) return false;
    run.diag.report(kWarning, "value longer than %d characters: %.*s... (ignored)",
                    static_cast<int>(kTextLimit), kShownLength, argument.c_str());
    return true;
}

}  // namespace

std::optional<std::string> CommandLineSource::take_name() {
    if (next_ >= arguments_.size()) return std::nullopt;
    const std::string& argument = arguments_[next_++];
    if (refuse_long_value(run_, argument)) return std::nullopt;
    return run_.lexer.scan_word_from(argument);
}

Token CommandLineSource::take_value() {
    if (next_ >= arguments_.size()) return Token{};
    const std::string& argument = arguments_[next_++];
    if (refuse_long_value(run_, argument)) return Token{};
    return run_.lexer.scan_value_from(argument);
}

std::optional<std::string> CommandFileSource::take_name() { return run_.lexer.scan_word(); }

Token CommandFileSource::take_value() { return run_.lexer.next_token(); }

void apply_option(RunContext& run, std::string_view text, OptionSource& source) {
    if (text.size() > kTextLimit) {
        run.diag.report(kWarning, "option longer than %d characters: -%.*s... (ignored)",
                        static_cast<int>(kTextLimit), kShownLength, text.data());
        return;
    }
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), to_lower);
    if (const NamedOption* option = recognise(lowered)) {
        apply(run, *option, text, source);
        return;
    }
    run.diag.report(kWarning, "invalid option: -%.*s", length_of(text), text.data());
}

}  // namespace romcvt
