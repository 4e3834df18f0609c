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
    "Exit status: 0 complete, 1 incomplete (the directory failed part way; the lists are\n"
    "written all the same), 2 usage error, folder that cannot be read, or output that cannot\n"
    "be written.";

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
    parser.addOption(format);
    parser.addOption(output);
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
