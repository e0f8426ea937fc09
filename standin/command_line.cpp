#include "standin/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace meshbridge::standin {

namespace {

struct OptionUse {
    std::string name;
    bool takesValue;
    std::set<std::string> commands;  // empty: every command
};

const std::vector<OptionUse>& optionTable() {
    static const std::vector<OptionUse> table = {
        {"--plugin", true, {}},
        {"--host-version", true, {}},
        {"--answer", true, {}},
        {"--to-file", false, {"print"}},
        {"--no-log", false, {"print"}},
        {"--param", true, {"run"}},
    };
    return table;
}

bool parseHostVersion(const std::string& text, HostVersion& version) {
    int first = 0, second = 0, third = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d%c", &first, &second, &third, &extra) != 3) return false;
    version = HostVersion{first, second, third};
    return true;
}

std::string extensionOf(const std::string& name) {
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return {};
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

int fileTypeIdForName(const std::string& name) {
    const std::string extension = extensionOf(name);
    if (extension == ".gii") return 1;
    if (extension == ".srf") return 2;
    if (extension == ".mtc") return 3;
    if (extension == ".smp") return 4;
    if (extension == ".poi") return 5;
    return 0;
}

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    ParseResult result;
    Invocation& invocation = result.invocation;
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
            positional.insert(positional.end(), arguments.begin() + static_cast<long>(i) + 1,
                              arguments.end());
            break;
        }
        if (argument.rfind("--", 0) != 0 || argument.size() == 2) {
            positional.push_back(argument);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto option = std::find_if(optionTable().begin(), optionTable().end(),
                                         [&](const OptionUse& use) { return use.name == name; });
        if (option == optionTable().end()) {
            result.error = "unknown option " + name;
            return result;
        }
        std::string value;
        if (option->takesValue) {
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

    if (invocation.action != Action::Version) {
        if (positional.empty()) {
            result.error = "no command given";
            return result;
        }
        invocation.action = Action::Command;
        invocation.command = positional.front();
        invocation.files.assign(positional.begin() + 1, positional.end());
        if (invocation.command != "print" && invocation.command != "run") {
            result.error = "unknown command " + invocation.command;
            return result;
        }
    }

    bool toFile = false;
    bool noLog = false;
    for (const auto& [name, value] : options) {
        const auto& use = *std::find_if(optionTable().begin(), optionTable().end(),
                                        [&](const OptionUse& u) { return u.name == name; });
        if (invocation.action == Action::Command && !use.commands.empty() &&
            !use.commands.count(invocation.command)) {
            result.error = name + " does not apply to " + invocation.command;
            return result;
        }
        if (name == "--plugin") {
            invocation.pluginPath = value;
        } else if (name == "--host-version") {
            if (!parseHostVersion(value, invocation.hostVersion)) {
                result.error = "--host-version wants three numbers such as 2.10.0, not " + value;
                return result;
            }
        } else if (name == "--answer") {
            invocation.answers.push_back(value);
        } else if (name == "--to-file") {
            toFile = true;
        } else if (name == "--no-log") {
            noLog = true;
        } else if (name == "--param") {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos || equals == 0) {
                result.error = "--param wants NAME=VALUE, not " + value;
                return result;
            }
            invocation.parameters[value.substr(0, equals)] = value.substr(equals + 1);
        }
    }

    if (invocation.action == Action::Command && invocation.command == "print") {
        if (invocation.files.size() != 1) {
            result.error = "print wants exactly one FILE";
            return result;
        }
        const int fileType = fileTypeIdForName(invocation.files.front());
        if (fileType == 0) {
            result.error = "print: cannot tell the kind of " + invocation.files.front() +
                           " (expected .gii, .srf, .mtc, .smp or .poi)";
            return result;
        }
        invocation.parameters = {
            {"Command", "Print"},
            {"FileTypeId", std::to_string(fileType)},
            {"PrintToLog", noLog ? "0" : "1"},
            {"PrintToFile", toFile ? "1" : "0"},
            {"UseCurrentFile", "0"},
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
  print FILE            Dump the header of FILE (.gii, .srf, .mtc, .smp or .poi)
                        to the log.
      --to-file         Also write the dump to FILE's info file, named
                        after FILE with "_info.txt" in place of its extension.
      --no-log          Do not send the dump to the log.
  run [FILE...]         Send one command with the dialog parameters given by
                        --param; each FILE answers one file dialog, in order.
      --param NAME=VALUE
                        Set the dialog parameter NAME (repeatable), for
                        example --param Command=Print --param FileTypeId=1.

Options for every command:
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

A file dialog with no FILE argument left is cancelled.

Exit status:
  0  the plug-in reported success
  1  the plug-in reported failure (see the log and the message boxes)
  2  usage error, or the plug-in could not be loaded or initialised
)";
}

}  // namespace meshbridge::standin
