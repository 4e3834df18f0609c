#pragma once
// The command line of permscope-report:
//   permscope-report [--format xlsx|csv|json] [--output FILE] [--depth N [--cross-mounts]] FOLDER
//   permscope-report --compare [--output FILE] OLD.json NEW.json
// and --help, --version. Parsed by Qt's QCommandLineParser; a QCoreApplication must exist.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace permscope::report {

enum class Format { Csv, Json, Xlsx };

struct Options {
    Format format = Format::Csv;
    std::string output;  // empty: standard output
    std::string folder;  // as given: any path the window's path box takes
    // A walk over the folder's tree down to this many levels; none: the folder alone.
    std::optional<int> depth;
    bool cross_mounts = false;  // the walk goes into mount points below the folder
    // --compare: the two reports, old and new; the folder is then not used.
    std::optional<std::pair<std::string, std::string>> compare;
};

// The program ends at once: after --help or --version (status 0), or on a usage error (status 2,
// the message names the option or what is missing).
struct Finish {
    int status = 0;
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// Values are taken byte for byte as they were given: a folder name that is no UTF-8 still names
// its folder.
std::variant<Options, Finish> parse_command_line(int argc, char* argv[]);

}  // namespace permscope::report
