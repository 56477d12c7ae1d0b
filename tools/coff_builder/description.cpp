#include "tools/coff_builder/description.h"

#include <charconv>
#include <set>
#include <sstream>
#include <vector>

namespace coff_builder {
namespace {

// Raised inside one line; the parser adds the source name and line number.
struct LineError {
    std::string message;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// Decimal or 0x-prefixed hexadecimal. A leading zero before more digits is refused rather
// than read as octal, so that "010" cannot silently mean 8 or 10.
uint64_t number(const std::string& text, uint64_t max, const std::string& what) {
    int base = 10;
    size_t start = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    } else if (text.size() > 1 && text[0] == '0') {
        throw LineError{what + ": '" + text + "' has a leading zero"};
    }
    uint64_t value = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, base);
    if (text.empty() || ec == std::errc::invalid_argument || end != last) {
        throw LineError{what + ": '" + text + "' is not a number"};
    }
    if (ec == std::errc::result_out_of_range || value > max) {
        throw LineError{what + ": '" + text + "' is too large"};
    }
    return value;
}

uint16_t u16(const std::string& text, const std::string& what) {
    return static_cast<uint16_t>(number(text, 0xFFFF, what));
}
uint32_t u32(const std::string& text, const std::string& what) {
    return static_cast<uint32_t>(number(text, 0xFFFFFFFF, what));
}

std::vector<uint16_t> word_list(const std::string& text, const std::string& what) {
    std::vector<uint16_t> words;
    for (const std::string& item : split(text, ',')) words.push_back(u16(item, what));
    return words;
}

void no_arguments(const std::vector<std::string>& tokens) {
    if (tokens.size() != 1) throw LineError{tokens[0] + " takes no argument"};
}
const std::string& one_argument(const std::vector<std::string>& tokens) {
    if (tokens.size() != 2) throw LineError{tokens[0] + " takes one argument"};
    return tokens[1];
}

Section parse_section(const std::vector<std::string>& tokens) {
    if (tokens.size() < 2 || tokens[1].find('=') != std::string::npos) {
        throw LineError{"section needs a name"};
    }
    Section s;
    s.name = tokens[1];
    std::set<std::string> seen;
    std::optional<uint32_t> seed;
    std::optional<uint32_t> random_count;
    for (size_t i = 2; i < tokens.size(); ++i) {
        const size_t eq = tokens[i].find('=');
        if (eq == std::string::npos) throw LineError{"expected key=value, got '" + tokens[i] + "'"};
        const std::string key = tokens[i].substr(0, eq);
        const std::string value = tokens[i].substr(eq + 1);
        if (!seen.insert(key).second) throw LineError{"'" + key + "' given twice"};
        const bool data_key = key == "words" || key == "ramp" || key == "random";
        if (data_key && (seen.count("words") + seen.count("ramp") + seen.count("random")) > 1) {
            throw LineError{"only one of words=, ramp= and random= per section"};
        }
        if (key == "addr") {
            s.virtual_address = u32(value, key);
        } else if (key == "paddr") {
            s.physical_address = u32(value, key);
        } else if (key == "page") {
            s.page = u16(value, key);
        } else if (key == "flags") {
            s.flags = u32(value, key);
        } else if (key == "size") {
            s.size_in_words = u32(value, key);
        } else if (key == "words") {
            s.words = word_list(value, key);
        } else if (key == "ramp") {
            s.words = ramp_words(number(value, 0x7FFFFFFF, key));
        } else if (key == "random") {
            random_count = static_cast<uint32_t>(number(value, 0x7FFFFFFF, key));
        } else if (key == "seed") {
            seed = u32(value, key);
        } else {
            throw LineError{"unknown section key '" + key + "'"};
        }
    }
    if (seed && !random_count) throw LineError{"seed= needs random="};
    if (random_count) s.words = random_words(*random_count, seed.value_or(1));
    return s;
}

Section parse_cinit(const std::vector<std::string>& tokens) {
    uint32_t address = 0;
    uint16_t page = 0;
    size_t i = 1;
    std::set<std::string> seen;
    for (; i < tokens.size() && tokens[i].find('=') != std::string::npos; ++i) {
        const size_t eq = tokens[i].find('=');
        const std::string key = tokens[i].substr(0, eq);
        const std::string value = tokens[i].substr(eq + 1);
        if (!seen.insert(key).second) throw LineError{"'" + key + "' given twice"};
        if (key == "addr") {
            address = u32(value, key);
        } else if (key == "page") {
            page = u16(value, key);
        } else {
            throw LineError{"unknown cinit key '" + key + "'"};
        }
    }
    std::string records_text;
    for (; i < tokens.size(); ++i) records_text += tokens[i];
    if (records_text.empty()) throw LineError{"cinit needs at least one record"};

    std::vector<CinitRecord> records;
    for (const std::string& record : split(records_text, ';')) {
        const size_t colon = record.find(':');
        if (colon == std::string::npos) {
            throw LineError{"cinit record '" + record + "' is not DEST: WORDS"};
        }
        records.push_back({u16(record.substr(0, colon), "cinit destination"),
                           word_list(record.substr(colon + 1), "cinit word")});
    }
    return cinit_section(records, address, page);
}

void parse_line(const std::vector<std::string>& tokens, CoffImage& image) {
    const std::string& keyword = tokens[0];
    if (keyword == "magic") {
        image.magic = u16(one_argument(tokens), keyword);
    } else if (keyword == "target-id") {
        image.target_id = u16(one_argument(tokens), keyword);
    } else if (keyword == "swapped") {
        no_arguments(tokens);
        image.swapped_headers = true;
    } else if (keyword == "big-endian-data") {
        no_arguments(tokens);
        image.big_endian_data = true;
    } else if (keyword == "no-optional-header") {
        no_arguments(tokens);
        image.optional_header = false;
    } else if (keyword == "optional-header-junk") {
        const auto size = static_cast<size_t>(number(one_argument(tokens), 0xFFFF, keyword));
        image.optional_header_override = std::vector<uint8_t>(size, kJunkByte);
    } else if (keyword == "entry") {
        image.entry_point = u32(one_argument(tokens), keyword);
    } else if (keyword == "file-flags") {
        image.extra_file_flags = u16(one_argument(tokens), keyword);
    } else if (keyword == "symbols") {
        const std::string& mode = one_argument(tokens);
        if (mode == "auto") {
            image.symbols = Symbols::automatic;
        } else if (mode == "always") {
            image.symbols = Symbols::always;
        } else if (mode == "none") {
            image.symbols = Symbols::none;
        } else {
            throw LineError{"symbols takes auto, always or none"};
        }
    } else if (keyword == "section") {
        image.sections.push_back(parse_section(tokens));
    } else if (keyword == "cinit") {
        image.sections.push_back(parse_cinit(tokens));
    } else {
        throw LineError{"unknown keyword '" + keyword + "'"};
    }
}

}  // namespace

CoffImage parse_description(std::istream& in, const std::string& source_name) {
    CoffImage image;
    std::string line;
    for (int line_number = 1; std::getline(in, line); ++line_number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> tokens;
        for (std::string token; words >> token;) tokens.push_back(token);
        if (tokens.empty()) continue;
        try {
            parse_line(tokens, image);
        } catch (const LineError& e) {
            throw DescriptionError(source_name + ":" + std::to_string(line_number) + ": " +
                                   e.message);
        }
    }
    if (in.bad()) throw DescriptionError(source_name + ": read error");
    return image;
}

}  // namespace coff_builder
