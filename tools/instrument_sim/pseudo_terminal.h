// The instrument's end of the line: a pseudo-terminal whose slave device the
// loader opens through a symlink.
#pragma once

#include <string>

namespace instrument_sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    // Closes both ends and removes the link if it still points at our device.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair, sets the slave raw and keeps it open: the master then
    // never sees a hang-up while the loader closes and reopens the port.
    bool open(std::string& error);
    // Points `path` at the slave device, replacing an older symlink there.
    bool link(const std::string& path, std::string& error);
    void close();

    int master() const { return master_; }
    const std::string& device() const { return device_; }
    const std::string& linkPath() const { return link_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::string link_;
};

}  // namespace instrument_sim
