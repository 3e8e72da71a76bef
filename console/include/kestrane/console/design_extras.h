// What the console's options ask of each design besides its result lines (--series,
// --tolerance, --method, --opamp, --spice, --bom), and the files they write.
#pragma once

#include <string>

#include "kestrane/session/outputs.h"
#include "kestrane/session/session.h"

namespace kestrane {

// The parts report and the op-amp figures a design shows, and the files of its shown set.
struct DesignExtras {
    ReportAsks asks;
    std::string spice_path;  // the netlist's file; empty for none
    std::string bom_path;    // the bill of materials' file; empty for none

    bool any() const {
        return asks.parts || asks.opamp || !spice_path.empty() || !bom_path.empty();
    }
};

// Writes `text` to the file `path`, replacing what it held. Returns "" when done, else the
// message for standard error: "kestrane: cannot write ", the whole path quoted (quoted_whole),
// ": " and the system's reason.
std::string write_text_file(const std::string& path, const std::string& text);

// Writes the files `extras` names for the session's made design: the netlist
// (Session::netlist) and the bill of materials (Session::bill_of_materials, or a header line
// alone without a set to build). Returns "" when every file was written, else the first
// file's message (write_text_file); files after it are not written.
std::string write_extras_files(Session& session, const DesignExtras& extras);

}  // namespace kestrane
