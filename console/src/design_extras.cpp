#include "kestrane/console/design_extras.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kestrane/text/messages.h"

namespace kestrane {

std::string write_text_file(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr;
    if (written) {
        written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        written = std::fclose(file) == 0 && written;
    }
    if (written) return "";
    const int error = errno;
    return "kestrane: cannot write " + quoted_whole(path) + ": " + std::strerror(error);
}

std::string write_extras_files(Session& session, const DesignExtras& extras) {
    if (!extras.spice_path.empty()) {
        const std::string problem = write_text_file(extras.spice_path, session.netlist());
        if (!problem.empty()) return problem;
    }
    if (!extras.bom_path.empty())
        return write_text_file(extras.bom_path, session.bill_of_materials());
    return "";
}

}  // namespace kestrane
