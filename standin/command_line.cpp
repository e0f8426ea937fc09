#include "standin/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "host/host_api.h"

namespace meshbridge::standin {

namespace {

struct OptionUse {
    std::string name;
    bool takesValue;
    std::set<std::string> commands;  // empty: every command
};

const std::set<std::string> kCommands = {"print", "import", "export", "run"};

// Options by name; "--colors" names a file for import and is a flag for export.
const std::vector<OptionUse>& optionTable() {
    static const std::vector<OptionUse> table = {
        {"--plugin", true, {}},
        {"--host-version", true, {}},
        {"--answer", true, {}},
        {"--surface", true, {}},
        {"--maps", true, {}},
        {"--timecourse", true, {}},
        {"--patches", true, {}},
        {"--to-file", false, {"print"}},
        {"--no-log", false, {"print"}},
        {"--current", false, {"print", "export"}},
        {"--type", true, {"print", "import", "export"}},
        {"--param", true, {"run"}},
        {"--colors", true, {"import"}},
        {"--colors", false, {"export"}},
        {"--reverse-winding", false, {"import"}},
        {"--dump", false, {"import"}},
        {"--open", false, {"import"}},
        {"--binary", false, {"export"}},
        {"--labels-per-vertex", false, {"export"}},
    };
    return table;
}

const OptionUse* findOption(const std::string& name, const std::string& command) {
    const OptionUse* any = nullptr;
    for (const OptionUse& use : optionTable()) {
        if (use.name != name) continue;
        if (use.commands.empty() || use.commands.count(command)) return &use;
        any = any ? any : &use;
    }
    return any;
}

bool parseHostVersion(const std::string& text, HostVersion& version) {
    int first = 0, second = 0, third = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d%c", &first, &second, &third, &extra) != 3) return false;
    version = HostVersion{first, second, third};
    return true;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string lastComponent(const std::string& name) {
    const std::size_t separator = name.find_last_of("/\\");
    return lowered(separator == std::string::npos ? name : name.substr(separator + 1));
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int fileTypeIdForKind(const std::string& kind) {
    const std::string k = lowered(kind);
    if (k == "gii" || k == "gifti") return 1;
    if (k == "srf") return 2;
    if (k == "mtc") return 3;
    if (k == "smp") return 4;
    if (k == "poi") return 5;
    return 0;
}

// The command: the first word that is neither an option nor an option's value.
std::string findCommand(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0 || argument.size() == 2) return argument;
        const std::string name = argument.substr(0, argument.find('='));
        const OptionUse* use = findOption(name, "");
        if (use && use->takesValue && name != "--colors" && argument.find('=') == std::string::npos) ++i;
    }
    return {};
}

}  // namespace

namespace {

// A name without the ".gz" of a compressed GIFTI file.
std::string withoutGzip(const std::string& name) {
    return endsWith(lowered(name), ".gii.gz") ? name.substr(0, name.size() - 3) : name;
}

}  // namespace

int fileTypeIdForName(const std::string& name) {
    const std::string base = withoutGzip(lastComponent(name));
    const std::size_t dot = base.find_last_of('.');
    return dot == std::string::npos ? 0 : fileTypeIdForKind(base.substr(dot + 1));
}

int importFileTypeIdForName(const std::string& name) {
    const std::string base = withoutGzip(lastComponent(name));
    if (endsWith(base, ".time.gii")) return 3;
    if (endsWith(base, ".func.gii") || endsWith(base, ".shape.gii")) return 4;
    if (endsWith(base, ".label.gii")) return 5;
    return 2;
}

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    ParseResult result;
    Invocation& invocation = result.invocation;
    const std::string command = findCommand(arguments);
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> positional;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            invocation.action = Action::Help;
            return result;
        }
        if (argument == "--version") {
            invocation.action = Action::Version;
            continue;
        }
        if (argument == "--") {
            positional.insert(positional.end(), arguments.begin() + static_cast<long>(i) + 1, arguments.end());
            break;
        }
        if (argument.rfind("--", 0) != 0 || argument.size() == 2) {
            positional.push_back(argument);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionUse* use = findOption(name, command);
        if (!use) {
            result.error = "unknown option " + name;
            return result;
        }
        if (!use->commands.empty() && !use->commands.count(command) && invocation.action != Action::Version) {
            result.error = name + " does not apply to " + (command.empty() ? "this command" : command);
            return result;
        }
        std::string value;
        if (use->takesValue) {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                result.error = name + " needs a value";
                return result;
            }
        } else if (equals != std::string::npos) {
            result.error = name + " takes no value";
            return result;
        }
        options.emplace_back(name, value);
    }

    if (invocation.action == Action::Version) return result;
    if (positional.empty()) {
        result.error = "no command given";
        return result;
    }
    invocation.action = Action::Command;
    invocation.command = positional.front();
    invocation.files.assign(positional.begin() + 1, positional.end());
    if (!kCommands.count(invocation.command)) {
        result.error = "unknown command " + invocation.command;
        return result;
    }

    bool toFile = false, noLog = false, current = false, reverseWinding = false, dump = false, open = false,
         binary = false, exportColors = false, labelsPerVertex = false;
    std::string type, colorsFile;
    for (const auto& [name, value] : options) {
        if (name == "--plugin") {
            invocation.pluginPath = value;
        } else if (name == "--host-version") {
            if (!parseHostVersion(value, invocation.hostVersion)) {
                result.error = "--host-version wants three numbers such as 2.10.0, not " + value;
                return result;
            }
        } else if (name == "--answer") {
            invocation.answers.push_back(value);
        } else if (name == "--surface") {
            invocation.surfacePath = value;
        } else if (name == "--maps") {
            invocation.mapsPath = value;
        } else if (name == "--timecourse") {
            invocation.timeCoursePath = value;
        } else if (name == "--patches") {
            invocation.patchesPath = value;
        } else if (name == "--to-file") {
            toFile = true;
        } else if (name == "--no-log") {
            noLog = true;
        } else if (name == "--current") {
            current = true;
        } else if (name == "--type") {
            type = value;
        } else if (name == "--colors") {
            if (invocation.command == "import") {
                colorsFile = value;
            } else {
                exportColors = true;
            }
        } else if (name == "--reverse-winding") {
            reverseWinding = true;
        } else if (name == "--dump") {
            dump = true;
        } else if (name == "--open") {
            open = true;
        } else if (name == "--binary") {
            binary = true;
        } else if (name == "--labels-per-vertex") {
            labelsPerVertex = true;
        } else if (name == "--param") {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos || equals == 0) {
                result.error = "--param wants NAME=VALUE, not " + value;
                return result;
            }
            invocation.parameters[value.substr(0, equals)] = value.substr(equals + 1);
        }
    }

    // Paths reach the plug-in through the host's path buffers; one cut short
    // there would name another file.
    std::vector<std::string> paths = invocation.files;
    for (const std::string* path : {&colorsFile, &invocation.surfacePath, &invocation.mapsPath,
                                    &invocation.timeCoursePath, &invocation.patchesPath}) {
        paths.push_back(*path);
    }
    for (const std::string& path : paths) {
        if (path.size() >= kHostPathCapacity) {
            result.error = "the path " + path + " is longer than the " + std::to_string(kHostPathCapacity - 1) +
                           " bytes Corvana hands to a plug-in";
            return result;
        }
    }

    const std::string& verb = invocation.command;
    if (verb == "run") return result;

    int fileType = type.empty() ? 0 : fileTypeIdForKind(type);
    if (!type.empty() && fileType == 0) {
        result.error = "--type wants gii, srf, mtc, smp or poi, not " + type;
        return result;
    }

    if (verb == "import") {
        if (invocation.files.empty()) {
            result.error = "import wants the GIFTI FILE to import";
            return result;
        }
        if (fileType == 0) fileType = importFileTypeIdForName(invocation.files.front());
        if (!colorsFile.empty()) invocation.files.insert(invocation.files.begin() + 1, colorsFile);
        invocation.parameters = {
            {"Command", "Import"},
            {"FileTypeId", std::to_string(fileType)},
            {"PrintToLogtab", dump ? "1" : "0"},
            {"OpenInCRZT", open ? "1" : "0"},
            {"ReverseWinding", reverseWinding ? "1" : "0"},
            {"AddColorsFile", colorsFile.empty() ? "0" : "1"},
        };
        return result;
    }

    // print and export: one FILE, or the host's current document.
    if (current) {
        if (!invocation.files.empty()) {
            result.error = verb + " --current takes the host's document, not a FILE";
            return result;
        }
        if (fileType == 0 && !invocation.mapsPath.empty()) fileType = 4;
        if (fileType == 0 && !invocation.timeCoursePath.empty()) fileType = 3;
        if (fileType == 0 && !invocation.patchesPath.empty()) fileType = 5;
        if (fileType == 0 && !invocation.surfacePath.empty()) fileType = 2;
        if (fileType == 0) {
            result.error = verb + " --current wants the host's document, such as --surface FILE.srf";
            return result;
        }
    } else {
        if (invocation.files.size() != 1) {
            result.error = verb + " wants exactly one FILE (or --current)";
            return result;
        }
        if (fileType == 0) fileType = fileTypeIdForName(invocation.files.front());
        if (fileType == 0) {
            result.error = verb + ": cannot tell the kind of " + invocation.files.front() +
                           " (expected .gii, .srf, .mtc, .smp or .poi)";
            return result;
        }
    }
    if (verb == "print") {
        invocation.parameters = {
            {"Command", "Print"},
            {"FileTypeId", std::to_string(fileType)},
            {"PrintToLog", noLog ? "0" : "1"},
            {"PrintToFile", toFile ? "1" : "0"},
            {"UseCurrentFile", current ? "1" : "0"},
        };
    } else {
        if (fileType == 1) {
            result.error = "export converts the host's own files (.srf, .mtc, .smp, .poi) to GIFTI";
            return result;
        }
        invocation.parameters = {
            {"Command", "Export"},
            {"FileTypeId", std::to_string(fileType)},
            {"DoBinaryExport", binary ? "1" : "0"},
            {"UseCurrentFile", current ? "1" : "0"},
            {"DoExportColors", exportColors ? "1" : "0"},
            {"DoExportLabelsPerVertex", labelsPerVertex ? "1" : "0"},
        };
    }
    return result;
}

std::string helpText() {
    return R"(Usage: meshbridge [OPTIONS] COMMAND [ARGUMENTS]

meshbridge converts between GIFTI files and the host application's own surface
files (SRF, SMP, MTC, POI) by running the Meshbridge plug-in exactly as the
host does: it loads the plug-in library, plays the host's part (dialogs,
questions, log) and prints the plug-in's log on standard output. Message boxes
and the answers given to dialogs and questions go to standard error.

Commands:
  import FILE.gii [FILE...]
                        Convert a GIFTI file; what it becomes follows from its
                        contents: a surface an .srf file beside it,
                        statistic or shape maps an .smp file, a time series
                        an .mtc file that the host saves (it needs the host's
                        surface: --surface), labels a .poi file. Further FILEs
                        answer the dialogs that follow, in order (such as the
                        SRF file asked for when labels name their vertices
                        and the host has no surface).
      --colors COLORS.gii
                        Colour the surface with the label table of COLORS.gii.
      --reverse-winding Turn every triangle over.
      --dump            Log the header of the written file.
      --open            Open the result in the host (a surface: leave its
                        path in the parameter SrfFileName; maps: create them
                        on the current surface and load the file there; a
                        time series: link the saved file to the surface;
                        patches: load them in the host).
      --type KIND       The kind the import dialog is opened for (srf, mtc,
                        smp, poi); by default from FILE's name. For print and
                        export, the kind of FILE or of the current document
                        (gii, srf, mtc, smp, poi) when its name does not say.
  export FILE           Convert FILE to GIFTI beside it: lh.srf gives
                        lh.surf.gii, maps.smp gives maps.func.gii, run1.mtc
                        gives run1.time.gii, areas.poi gives areas.label.gii.
  export --current      Convert the host's current document (see --surface).
      --colors          Also write the surface's colours as a .label.gii file.
      --binary          Write the data arrays compressed (GZipBase64Binary)
                        instead of as text (ASCII).
      --labels-per-vertex
                        Write patches as one label for each vertex of the
                        mesh (key 0 "???" for vertices in no patch) instead
                        of node indices and their labels; Workbench and
                        FreeSurfer read label files that way.
  print FILE            Dump the header of FILE (.gii, .srf, .mtc, .smp or .poi)
                        to the log.
  print --current       Dump the header of the host's current document
                        (the maps, time course or patches if given, else the
                        surface).
      --to-file         Also write the dump to an info file, named after the
                        file with "_info.txt" in place of its extension.
      --no-log          Do not send the dump to the log.
  run [FILE...]         Send one command with the dialog parameters given by
                        --param; each FILE answers one file dialog, in order.
      --param NAME=VALUE
                        Set the dialog parameter NAME (repeatable), for
                        example --param Command=Print --param FileTypeId=1.

Options for every command:
  --surface FILE.srf    Open FILE.srf in the host as its current surface.
  --maps FILE.smp       Open the maps of FILE.smp on that surface.
  --timecourse FILE.mtc Link the time course of FILE.mtc to that surface.
  --patches FILE.poi    Open the patches of interest of FILE.poi.
  --answer VALUE        Answer the next question the plug-in asks (repeatable,
                        used in order): yes or no, or a number. Without one,
                        questions are asked on the terminal when there is
                        one, else cancelled (no, or the cancel value -1001).
  --host-version X.Y.Z  Play a host of this version (default 2.10.0); the
                        plug-in refuses versions below 2.9.5.
  --plugin PATH         Load the plug-in library PATH instead of the one
                        installed or built beside this program.
  --version             Print the plug-in's name, version and description.
  --help                Print this help.

A file dialog with no FILE argument left is cancelled. Paths of files that
the plug-in is given (FILEs and the documents above) are at most 255 bytes
long, as in Corvana.

Exit status:
  0  the plug-in reported success
  1  the plug-in reported failure (see the log and the message boxes)
  2  usage error, or the plug-in could not be loaded or initialised
)";
}

}  // namespace meshbridge::standin
