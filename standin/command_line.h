// The stand-in host's command line: what to run and with which answers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "standin/host_session.h"

namespace meshbridge::standin {

enum class Action { Help, Version, Command };

struct Invocation {
    Action action = Action::Help;
    std::string command;                            // "print", "import", "export" or "run"
    std::string pluginPath;                         // empty: the default library
    int codePage = 0;                               // of the host's texts; 0: the plug-in's default
    std::string surfacePath;                        // the host's current surface, if any
    std::string mapsPath;                           // the maps of that surface, if any
    std::string timeCoursePath;                     // its time course, if any
    std::string patchesPath;                        // the host's patches of interest, if any
    HostVersion hostVersion;
    std::vector<std::string> answers;               // --answer, in order
    std::map<std::string, std::string> parameters;  // the dialog parameters to send
    std::vector<std::string> files;                 // answers to file dialogs, in order; convert: its PATHs
    StandingAnswers standing;                       // --map-type, --dof, --tr
    std::string outputFolder;                       // -o: where an import's results go; empty: beside the input
    int jobs = 0;                                   // convert --jobs; 0: the machine's cores
    bool skipExisting = false;                      // convert --skip-existing
    int shardIndex = 1, shardCount = 1;             // convert --shard K/N
    std::vector<std::string> passedOn;              // the options a convert run hands to each import, in pairs
};

struct ParseResult {
    Invocation invocation;
    std::string error;  // non-empty: a usage error
};

ParseResult parseCommandLine(const std::vector<std::string>& arguments);

// The "FileTypeId" of a file name by its extension (case ignored), or 0.
int fileTypeIdForName(const std::string& name);

// The "FileTypeId" an import dialog is opened with for a GIFTI file name:
// by its inner extension (".time.gii" 3, ".func.gii" and ".shape.gii" 4,
// ".label.gii" 5), else 2 (surface).
int importFileTypeIdForName(const std::string& name);

std::string helpText();

}  // namespace meshbridge::standin
