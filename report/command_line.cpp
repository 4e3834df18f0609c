#include "report/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstring>

namespace permscope::report {

namespace {

constexpr const char* kProgram = "permscope-report";

Finish usage_error(const QString& text) {
    return Finish{2,
                  {},
                  std::string(kProgram) + ": " + text.toStdString() + "\nTry '" + kProgram +
                      " --help' for more information.\n"};
}

// Qt decodes the arguments into text, which turns bytes that are no UTF-8 into U+FFFD. The value
// is taken from the argument it was decoded from: the last one that decodes to it, whole or after
// the "=" of "--option=value".
std::string raw_value(const QString& value, int argc, char* argv[]) {
    for (int i = argc - 1; i > 0; --i) {
        const char* argument = argv[i];
        const char* equals = argument[0] == '-' ? std::strchr(argument, '=') : nullptr;
        for (const char* candidate : {argument, equals ? equals + 1 : nullptr})
            if (candidate && QString::fromLocal8Bit(candidate) == value)
                return candidate;
    }
    return value.toStdString();
}

const char* kHelpIntro =
    "Writes who holds which rights on FOLDER, read as the Permscope window reads it: its access\n"
    "list, every group expanded through the directory, the German rights texts.\n"
    "FOLDER is a local path or a share path (//server/share/dir or \\\\server\\share\\dir).\n"
    "With --depth, FOLDER and its sub-folders: each reported in full, as the same as its\n"
    "parent, or as unreadable.\n"
    "Exit status: 0 complete, 1 incomplete (the directory failed part way; the lists are\n"
    "written all the same), 2 usage error, folder that cannot be read, or output that cannot\n"
    "be written.\n"
    "permscope-report --compare OLD.json NEW.json writes what changed between two json\n"
    "reports, one tab-separated line a change (+ gained, - lost, ~ changed, ! read in one\n"
    "report only); exit status 0 no change, 1 changes, 2 error.";

// "N" as a depth: a whole number from 0 on.
std::optional<int> depth_of(const QString& text) {
    bool ok = false;
    const int depth = text.toInt(&ok);
    if (!ok || depth < 0 || text.startsWith('+') || text.trimmed() != text)
        return std::nullopt;
    return depth;
}

}  // namespace

std::variant<Options, Finish> parse_command_line(int argc, char* argv[]) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kHelpIntro));
    // Qt's own help option would also offer --help-all, for options this program does not take.
    const QCommandLineOption help(QStringList{"h", "help"}, "Print this help and exit.");
    const QCommandLineOption version(QStringList{"v", "version"}, "Print the version and exit.");
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption format(
        QStringLiteral("format"),
        "Output format: csv (default: the users list), json (both lists and the head groups) or "
        "xlsx (the export's sheet and both lists; needs --output).",
        "format", "csv");
    const QCommandLineOption output(
        QStringLiteral("output"), "Write to FILE (mode 0600) instead of standard output.", "FILE");
    const QCommandLineOption depth(
        QStringLiteral("depth"),
        "Report FOLDER and its sub-folders down to N levels (0: FOLDER alone, as a tree), "
        "depth first in byte order of the names; symbolic links are not followed.",
        "N");
    const QCommandLineOption cross_mounts(
        QStringLiteral("cross-mounts"),
        "With --depth: also walk into folders on other mounts below FOLDER (left out otherwise).");
    const QCommandLineOption compare(
        QStringLiteral("compare"),
        "Compare two json reports, OLD.json and NEW.json, instead of reading a folder.");
    for (const QCommandLineOption* option : {&format, &output, &depth, &cross_mounts, &compare})
        parser.addOption(*option);
    parser.addPositionalArgument("FOLDER", "The folder to report on.");

    if (!parser.parse(QCoreApplication::arguments()))
        return usage_error(parser.errorText());
    if (parser.isSet(help))
        return Finish{0, parser.helpText().toStdString(), {}};
    if (parser.isSet(version))
        return Finish{0,
                      std::string(kProgram) + " " +
                          QCoreApplication::applicationVersion().toStdString() + "\n",
                      {}};

    Options options;
    if (parser.isSet(compare)) {
        if (parser.isSet(format) || parser.isSet(depth) || parser.isSet(cross_mounts))
            return usage_error("--compare takes no --format, --depth or --cross-mounts");
        const QStringList reports = parser.positionalArguments();
        if (reports.size() != 2)
            return usage_error("--compare needs two reports, OLD.json and NEW.json");
        options.compare = {raw_value(reports[0], argc, argv), raw_value(reports[1], argc, argv)};
        if (parser.isSet(output))
            options.output = raw_value(parser.value(output), argc, argv);
        return options;
    }
    if (parser.isSet(depth)) {
        options.depth = depth_of(parser.value(depth));
        if (!options.depth)
            return usage_error("--depth: '" + parser.value(depth) + "' is no number from 0 on");
    }
    options.cross_mounts = parser.isSet(cross_mounts);
    if (options.cross_mounts && !options.depth)
        return usage_error("--cross-mounts needs --depth");
    const QString format_name = parser.value(format);
    if (format_name == "csv")
        options.format = Format::Csv;
    else if (format_name == "json")
        options.format = Format::Json;
    else if (format_name == "xlsx")
        options.format = Format::Xlsx;
    else
        return usage_error("--format: unknown format '" + format_name + "' (csv, json or xlsx)");
    if (parser.isSet(output)) {
        if (parser.value(output).isEmpty())
            return usage_error("--output: empty file name");
        options.output = raw_value(parser.value(output), argc, argv);
    }
    if (options.format == Format::Xlsx && options.output.empty())
        return usage_error("--format xlsx needs --output FILE");

    const QStringList folders = parser.positionalArguments();
    if (folders.size() != 1)
        return usage_error(folders.isEmpty()
                               ? QStringLiteral("no FOLDER given")
                               : "one FOLDER only, " + QString::number(folders.size()) + " given");
    options.folder = raw_value(folders.front(), argc, argv);
    return options;
}

}  // namespace permscope::report
