// The option parser shared by the command line and command files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/driver/lexer.h"

namespace romcvt {

struct RunContext;

// Where an option finds its value: the next command-line argument, or the
// command file after the option.
class OptionSource {
  public:
    virtual ~OptionSource() = default;
    // A plain name (first blank-delimited word); nothing when none is there.
    virtual std::optional<std::string> take_name() = 0;
    // One token of the command-file language; kTokenEnd when none.
    virtual Token take_value() = 0;
};

class CommandLineSource : public OptionSource {
  public:
    CommandLineSource(RunContext& run, const std::vector<std::string>& arguments, size_t& next)
        : run_(run), arguments_(arguments), next_(next) {}
    std::optional<std::string> take_name() override;
    Token take_value() override;

  private:
    RunContext& run_;
    const std::vector<std::string>& arguments_;
    size_t& next_;  // index of the next unconsumed argument
};

class CommandFileSource : public OptionSource {
  public:
    explicit CommandFileSource(RunContext& run) : run_(run) {}
    std::optional<std::string> take_name() override;
    Token take_value() override;

  private:
    RunContext& run_;
};

// text is the option without its leading "-".
void apply_option(RunContext& run, std::string_view text, OptionSource& source);

}  // namespace romcvt
