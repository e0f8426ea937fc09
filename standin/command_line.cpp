#include "standin/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

#include "common/plugin_info.h"
#include "host/host_api.h"

namespace meshbridge::standin {

namespace {

// What the options of a command say, before they become dialog parameters.
struct Options {
    bool toFile = false, noLog = false, current = false, reverseWinding = false, dump = false, open = false,
         binary = false, exportColors = false, labelsPerVertex = false, asTimeCourse = false, retinotopyAsReal = false,
         cifti = false, freesurfer = false;
    std::string type, colorsFile;
};

// One use of an option: its name, whether it takes a value, the commands it
// applies to (empty: every command) and what it sets.
struct OptionUse {
    std::string name;
    bool takesValue;
    std::set<std::string> commands;
    void (*apply)(const std::string& value, Invocation& invocation, Options& options);
};

const std::set<std::string> kCommands = {"print", "import", "export", "run", "convert"};

// Options by name; "--colors" names a file for import and is a flag for export.
const std::vector<OptionUse>& optionTable() {
    static const std::vector<OptionUse> table = {
        {"--plugin", true, {}, [](const std::string& v, Invocation& i, Options&) { i.pluginPath = v; }},
        {"--host-version", true, {}, nullptr},  // checked where it is parsed
        {"--code-page", true, {}, nullptr},     // checked where it is parsed
        {"--answer", true, {}, [](const std::string& v, Invocation& i, Options&) { i.answers.push_back(v); }},
        {"--surface", true, {}, [](const std::string& v, Invocation& i, Options&) { i.surfacePath = v; }},
        {"--maps", true, {}, [](const std::string& v, Invocation& i, Options&) { i.mapsPath = v; }},
        {"--timecourse", true, {}, [](const std::string& v, Invocation& i, Options&) { i.timeCoursePath = v; }},
        {"--patches", true, {}, [](const std::string& v, Invocation& i, Options&) { i.patchesPath = v; }},
        {"--to-file", false, {"print"}, [](const std::string&, Invocation&, Options& o) { o.toFile = true; }},
        {"--no-log", false, {"print"}, [](const std::string&, Invocation&, Options& o) { o.noLog = true; }},
        {"--current", false, {"print", "export"}, [](const std::string&, Invocation&, Options& o) { o.current = true; }},
        {"--type", true, {"print", "import", "export"}, [](const std::string& v, Invocation&, Options& o) { o.type = v; }},
        {"--param", true, {"run"}, nullptr},  // checked where it is parsed
        {"--colors", true, {"import"}, [](const std::string& v, Invocation&, Options& o) { o.colorsFile = v; }},
        {"--colors", false, {"export"}, [](const std::string&, Invocation&, Options& o) { o.exportColors = true; }},
        {"--reverse-winding", false, {"import"},
         [](const std::string&, Invocation&, Options& o) { o.reverseWinding = true; }},
        {"--dump", false, {"import"}, [](const std::string&, Invocation&, Options& o) { o.dump = true; }},
        {"--open", false, {"import"}, [](const std::string&, Invocation&, Options& o) { o.open = true; }},
        {"--as-time-course", false, {"import"},
         [](const std::string&, Invocation&, Options& o) { o.asTimeCourse = true; }},
        {"--binary", false, {"export"}, [](const std::string&, Invocation&, Options& o) { o.binary = true; }},
        {"--retinotopy-as-real", false, {"export"},
         [](const std::string&, Invocation&, Options& o) { o.retinotopyAsReal = true; }},
        {"--cifti", false, {"export"}, [](const std::string&, Invocation&, Options& o) { o.cifti = true; }},
        {"--freesurfer", false, {"export"}, [](const std::string&, Invocation&, Options& o) { o.freesurfer = true; }},
        {"--labels-per-vertex", false, {"export"},
         [](const std::string&, Invocation&, Options& o) { o.labelsPerVertex = true; }},
        {"--output", true, {"import", "convert"},
         [](const std::string& v, Invocation& i, Options&) { i.outputFolder = v; }},
        {"--map-type", true, {"import", "convert"}, nullptr},  // checked where it is parsed
        {"--dof", true, {"import", "convert"}, nullptr},       // checked where it is parsed
        {"--tr", true, {"import", "convert"}, nullptr},        // checked where it is parsed
        {"--jobs", true, {"convert"}, nullptr},                // checked where it is parsed
        {"--shard", true, {"convert"}, nullptr},               // checked where it is parsed
        {"--skip-existing", false, {"convert"},
         [](const std::string&, Invocation& i, Options&) { i.skipExisting = true; }},
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

// A whole number from `lowest` to `highest`, written in digits only.
std::optional<int> wholeNumberIn(const std::string& text, int lowest, int highest) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int number = std::stoi(text);
    if (number < lowest || number > highest) return std::nullopt;
    return number;
}

// A number of degrees of freedom as the plug-in's questions take them.
std::optional<double> degreesOfFreedom(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(number >= -1000.0 && number <= 1000.0)) return std::nullopt;
    return number;
}

// The options that answer the questions of a run, or the usage error.
std::string parseStandingAnswer(const std::string& name, const std::string& value, StandingAnswers& standing) {
    if (name == "--map-type") {
        static const std::map<std::string, int> kChoices = {{"t", 1}, {"r", 2}, {"F", 3}, {"z", 4}, {"shape", 5}};
        const auto choice = kChoices.find(value);
        if (choice == kChoices.end()) return "--map-type wants z, t, r, F or shape, not " + value;
        standing.mapChoice = choice->second;
    } else if (name == "--dof") {
        const std::size_t comma = value.find(',');
        const auto first = degreesOfFreedom(value.substr(0, comma));
        const auto second = comma == std::string::npos ? std::optional<double>() : degreesOfFreedom(value.substr(comma + 1));
        if (!first || (comma != std::string::npos && !second))
            return "--dof wants the degrees of freedom, such as 30 (or 2,30 for F maps), from -1000 to 1000, not " +
                   value;
        standing.firstDof = first;
        standing.secondDof = second;
    } else {  // --tr
        const auto milliseconds = wholeNumberIn(value, 1, 100000);
        if (!milliseconds) return "--tr wants the repetition time in whole milliseconds, 1 to 100000, not " + value;
        standing.repetitionTimeMs = milliseconds;
    }
    return {};
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
    if (k == "gii" || k == "gifti") return kFileTypeGifti;
    if (k == "srf") return kFileTypeSrf;
    if (k == "mtc") return kFileTypeMtc;
    if (k == "smp") return kFileTypeSmp;
    if (k == "poi") return kFileTypePoi;
    return 0;
}

// The command: the first word that is neither an option nor an option's value.
std::string findCommand(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-o") {
            ++i;
            continue;
        }
        if (argument.rfind("--", 0) != 0 || argument.size() == 2) return argument;
        const std::string name = argument.substr(0, argument.find('='));
        const OptionUse* use = findOption(name, "");
        if (use && use->takesValue && name != "--colors" && argument.find('=') == std::string::npos) ++i;
    }
    return {};
}

// A name without the ".gz" of a compressed GIFTI file.
std::string withoutGzip(const std::string& name) {
    return endsWith(lowered(name), ".gii.gz") ? name.substr(0, name.size() - 3) : name;
}

// Step 1: the words of the command line as options (each applied through the
// table) and positional words. Empty, or the usage error.
std::string scanArguments(const std::vector<std::string>& arguments, Invocation& invocation, Options& options,
                          std::vector<std::string>& positional) {
    const std::string command = findCommand(arguments);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            invocation.action = Action::Help;
            return {};
        }
        if (argument == "--version") {
            invocation.action = Action::Version;
            continue;
        }
        if (argument == "--") {
            positional.insert(positional.end(), arguments.begin() + static_cast<long>(i) + 1, arguments.end());
            break;
        }
        const bool shortOutput = argument == "-o";  // the one short option: -o DIR, as --output DIR
        if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-' && !shortOutput)
            return "unknown option " + argument + " (options are spelt --name; a file named so follows --)";
        if (!shortOutput && (argument.rfind("--", 0) != 0 || argument.size() == 2)) {
            positional.push_back(argument);
            continue;
        }
        const std::size_t equals = shortOutput ? std::string::npos : argument.find('=');
        const std::string name = shortOutput ? "--output" : argument.substr(0, equals);
        const OptionUse* use = findOption(name, command);
        if (!use) return "unknown option " + name;
        if (!use->commands.empty() && !use->commands.count(command) && invocation.action != Action::Version)
            return name + " does not apply to " + (command.empty() ? "this command" : command);
        std::string value;
        if (use->takesValue) {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return name + " needs a value";
            }
        } else if (equals != std::string::npos) {
            return name + " takes no value";
        }
        if (use->apply) {
            use->apply(value, invocation, options);
        } else if (name == "--code-page") {
            const bool number = !value.empty() && value.size() <= 5 &&
                                value.find_first_not_of("0123456789") == std::string::npos && std::stoi(value) > 0;
            if (!number) return "--code-page wants a code page number such as 1251, not " + value;
            invocation.codePage = std::stoi(value);
            invocation.passedOn.insert(invocation.passedOn.end(), {name, value});
        } else if (name == "--map-type" || name == "--dof" || name == "--tr") {
            if (std::string problem = parseStandingAnswer(name, value, invocation.standing); !problem.empty())
                return problem;
            invocation.passedOn.insert(invocation.passedOn.end(), {name, value});
        } else if (name == "--jobs") {
            const auto jobs = wholeNumberIn(value, 1, 64);
            if (!jobs) return "--jobs wants a number of processes from 1 to 64, not " + value;
            invocation.jobs = *jobs;
        } else if (name == "--shard") {
            const std::size_t slash = value.find('/');
            const auto count = slash == std::string::npos ? std::nullopt : wholeNumberIn(value.substr(slash + 1), 1, 1000000);
            const auto index = count ? wholeNumberIn(value.substr(0, slash), 1, *count) : std::nullopt;
            if (!index) return "--shard wants K/N, the K-th of N shares (1 <= K <= N), not " + value;
            invocation.shardIndex = *index;
            invocation.shardCount = *count;
        } else if (name == "--host-version") {
            if (!parseHostVersion(value, invocation.hostVersion))
                return "--host-version wants three numbers such as 2.10.0, not " + value;
            invocation.passedOn.insert(invocation.passedOn.end(), {name, value});
        } else {  // --param
            const std::size_t at = value.find('=');
            if (at == std::string::npos || at == 0) return "--param wants NAME=VALUE, not " + value;
            invocation.parameters[value.substr(0, at)] = value.substr(at + 1);
        }
    }
    return {};
}

// Step 2: what no command can take. Paths reach the plug-in through the
// host's path buffers; one cut short there would name another file.
std::string checkInvocation(const Invocation& invocation, const Options& options) {
    if (!kCommands.count(invocation.command)) return "unknown command " + invocation.command;
    std::vector<std::string> paths = invocation.files;
    for (const std::string* path : {&options.colorsFile, &invocation.surfacePath, &invocation.mapsPath,
                                    &invocation.timeCoursePath, &invocation.patchesPath}) {
        paths.push_back(*path);
    }
    paths.push_back(invocation.outputFolder);
    for (const std::string& path : paths) {
        if (path.size() >= kHostPathCapacity)
            return "the path " + path + " is longer than the " + std::to_string(kHostPathCapacity - 1) +
                   " bytes Corvana hands to a plug-in";
    }
    return {};
}

const char* flag(bool set) { return set ? "1" : "0"; }

// Step 3: the dialog parameters of an import.
std::string buildImport(Invocation& invocation, const Options& options, int fileType) {
    if (invocation.files.empty()) return "import wants the GIFTI or FreeSurfer FILE to import";
    if (fileType == 0) fileType = importFileTypeIdForName(invocation.files.front());
    if (!options.colorsFile.empty()) invocation.files.insert(invocation.files.begin() + 1, options.colorsFile);
    if (invocation.standing.mapChoice) {
        // Shape values are thickness or curvature as the file's name says.
        invocation.standing.thickness = lastComponent(invocation.files.front()).find("thickness") != std::string::npos;
        // Curvature is kept as a map type that asks for degrees of freedom, which shape values have none of.
        if (*invocation.standing.mapChoice == 5 && !invocation.standing.firstDof) invocation.standing.firstDof = 0.0;
    }
    invocation.parameters = {
        {"Command", "Import"},
        {"FileTypeId", std::to_string(fileType)},
        {"PrintToLogtab", flag(options.dump)},
        {"OpenInCRZT", flag(options.open)},
        {"ReverseWinding", flag(options.reverseWinding)},
        {"AddColorsFile", flag(!options.colorsFile.empty())},
        {"DoImportAsTimeCourse", flag(options.asTimeCourse)},
        {"OutputFolder", invocation.outputFolder},
    };
    return {};
}

// Step 3: the dialog parameters of a print or an export, of one FILE or of
// the host's current document.
std::string buildPrintOrExport(Invocation& invocation, const Options& options, int fileType) {
    const std::string& verb = invocation.command;
    if (options.current) {
        if (!invocation.files.empty()) return verb + " --current takes the host's document, not a FILE";
        if (fileType == 0 && !invocation.mapsPath.empty()) fileType = kFileTypeSmp;
        if (fileType == 0 && !invocation.timeCoursePath.empty()) fileType = kFileTypeMtc;
        if (fileType == 0 && !invocation.patchesPath.empty()) fileType = kFileTypePoi;
        if (fileType == 0 && !invocation.surfacePath.empty()) fileType = kFileTypeSrf;
        if (fileType == 0) return verb + " --current wants the host's document, such as --surface FILE.srf";
    } else {
        if (invocation.files.size() != 1) return verb + " wants exactly one FILE (or --current)";
        if (fileType == 0) fileType = fileTypeIdForName(invocation.files.front());
        if (fileType == 0)
            return verb + ": cannot tell the kind of " + invocation.files.front() +
                   " (expected .gii, .srf, .mtc, .smp or .poi)";
    }
    if (verb == "print") {
        invocation.parameters = {
            {"Command", "Print"},
            {"FileTypeId", std::to_string(fileType)},
            {"PrintToLog", flag(!options.noLog)},
            {"PrintToFile", flag(options.toFile)},
            {"UseCurrentFile", flag(options.current)},
        };
        return {};
    }
    if (fileType == kFileTypeGifti) return "export converts the host's own files (.srf, .mtc, .smp, .poi) to GIFTI";
    if (options.cifti && options.freesurfer) return "--cifti and --freesurfer exclude each other: give one";
    invocation.parameters = {
        {"Command", "Export"},
        {"FileTypeId", std::to_string(fileType)},
        {"DoBinaryExport", flag(options.binary)},
        {"UseCurrentFile", flag(options.current)},
        {"DoExportColors", flag(options.exportColors)},
        {"DoExportLabelsPerVertex", flag(options.labelsPerVertex)},
        {"DoExportRetinotopyAsReal", flag(options.retinotopyAsReal)},
        {"DoExportCifti", flag(options.cifti)},
        {"DoExportFreeSurfer", flag(options.freesurfer)},
    };
    return {};
}

}  // namespace

int fileTypeIdForName(const std::string& name) {
    const std::string base = withoutGzip(lastComponent(name));
    const std::size_t dot = base.find_last_of('.');
    return dot == std::string::npos ? 0 : fileTypeIdForKind(base.substr(dot + 1));
}

int importFileTypeIdForName(const std::string& name) {
    const std::string base = withoutGzip(lastComponent(name));
    if (endsWith(base, ".time.gii") || endsWith(base, ".dtseries.nii")) return kFileTypeMtc;
    if (endsWith(base, ".dscalar.nii")) return kFileTypeSmp;
    if (endsWith(base, ".dlabel.nii")) return kFileTypePoi;
    if (endsWith(base, ".func.gii") || endsWith(base, ".shape.gii")) return kFileTypeSmp;
    if (endsWith(base, ".label.gii") || endsWith(base, ".annot") || endsWith(base, ".label")) return kFileTypePoi;
    if (endsWith(base, ".mgh") || endsWith(base, ".mgz")) return kFileTypeSmp;
    return kFileTypeSrf;
}

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    ParseResult result;
    Invocation& invocation = result.invocation;
    Options options;
    std::vector<std::string> positional;
    invocation.action = Action::Command;  // unless --help or --version says otherwise
    result.error = scanArguments(arguments, invocation, options, positional);
    if (!result.error.empty() || invocation.action == Action::Help || invocation.action == Action::Version)
        return result;
    if (positional.empty()) {
        result.error = "no command given";
        return result;
    }
    invocation.command = positional.front();
    invocation.files.assign(positional.begin() + 1, positional.end());
    if (invocation.command == "convert") {
        if (invocation.files.empty()) result.error = "convert wants the folders or files to convert";
        return result;
    }
    result.error = checkInvocation(invocation, options);
    if (!result.error.empty() || invocation.command == "run") return result;

    const int fileType = options.type.empty() ? 0 : fileTypeIdForKind(options.type);
    if (!options.type.empty() && fileType == 0) {
        result.error = "--type wants gii, srf, mtc, smp or poi, not " + options.type;
    } else if (invocation.command == "import") {
        result.error = buildImport(invocation, options, fileType);
    } else {
        result.error = buildPrintOrExport(invocation, options, fileType);
    }
    return result;
}

std::string helpText() {
    return R"(Usage: meshbridge [OPTIONS] COMMAND [ARGUMENTS]
       meshbridge convert PATH... [-o OUT] [--jobs N] [--map-type KIND] [--dof N] [--tr MS]

meshbridge converts between GIFTI files and the host application's own surface
files (SRF, SMP, MTC, POI), and imports FreeSurfer's surfaces, morphometry,
overlays, annotations and labels, by running the Meshbridge plug-in exactly as the
host does: it loads the plug-in library, plays the host's part (dialogs,
questions, log) and prints the plug-in's log on standard output. Message boxes
and the answers given to dialogs and questions go to standard error.

Commands:
  import FILE [FILE...]
                        Convert a GIFTI file (.gii, or .gii.gz compressed);
                        what it becomes follows from its contents: a surface
                        an .srf file beside it, statistic or shape maps an
                        .smp file, a time series an .mtc file that the host
                        saves (it needs the host's surface: --surface),
                        labels a .poi file. Further FILEs
                        answer the dialogs that follow, in order (such as the
                        SRF file asked for when labels name their vertices
                        and the host has no surface).
                        FreeSurfer's files, told by their contents, come in
                        the same way: a surface (lh.white) gives lh.white.srf,
                        a morphometry file (lh.thickness) lh.thickness.smp,
                        an MGH or MGZ overlay (lh.sig.mgz) lh.sig.smp, one map
                        a frame, after asking what its values are (--answer
                        1 to 5), an annotation (lh.aparc.annot) lh.aparc.poi,
                        a patch a label, and a label file (lh.V1.label)
                        lh.V1.poi, one patch of its vertices.
                        CIFTI-2 dense files (HCP's, fMRIPrep's) give one
                        file per hemisphere (other structures by name), 0 on
                        the vertices they leave out: X.dscalar.nii gives
                        X_LH.smp and X_RH.smp, one map a CIFTI map, after
                        asking once what the values are (--answer 1 to 5);
                        X.dtseries.nii gives X_LH.mtc and X_RH.mtc with the
                        series' TR, written without the host's surface;
                        X.dlabel.nii gives X_LH.poi and X_RH.poi (with
                        several label maps X_MAP_LH.poi).
                        A time series without a usable TimeStep (fMRIPrep
                        writes 0) takes its TR from RepetitionTime in its
                        BIDS sidecar (NAME.json beside it, NAME being the
                        file's name up to its first dot, else an inherited
                        one up to the dataset's root).
      --colors COLORS.gii
                        Colour the surface with the label table of COLORS.gii.
      --reverse-winding Turn every triangle over.
      --dump            Log the header of the written file.
      --as-time-course  Import a file of plain arrays (maps of any intent, as
                        Workbench's -cifti-separate writes a dense time
                        series, or an MGH/MGZ overlay's frames) as one time
                        course, an array a volume, into the host's surface
                        (--surface); the repetition time comes from the
                        file's TimeStep (an overlay's TR), else it is asked
                        for (--answer MILLISECONDS).
      --open            Open the result in the host (a surface: leave its
                        path in the parameter SrfFileName; maps: create them
                        on the current surface and load the file there; a
                        time series: link the saved file to the surface;
                        patches: load them in the host).
      -o DIR, --output DIR
                        Write the results into DIR (made if need be) instead
                        of beside FILE, under the names they would have there.
      --map-type KIND   Answer what an overlay's or CIFTI file's values are
                        (z, t, r, F or shape) instead of asking; shape values
                        (of these or a GIFTI file) are thickness when the
                        file's name holds "thickness", else curvature.
      --dof N[,M]       Answer the questions for the maps' degrees of freedom
                        (N; N and M for F maps) the file does not give.
      --tr MS           Answer the question for the repetition time (with
                        --as-time-course) in milliseconds.
                        --answer values are used first, these after them.
      --type KIND       The kind the import dialog is opened for (srf, mtc,
                        smp, poi); by default from FILE's name. For print and
                        export, the kind of FILE or of the current document
                        (gii, srf, mtc, smp, poi) when its name does not say.
  export FILE           Convert FILE to GIFTI (or CIFTI-2, or FreeSurfer's formats)
                        beside it: lh.srf gives lh.surf.gii, maps.smp gives
                        maps.func.gii, run1.mtc gives run1.time.gii, areas.poi
                        gives areas.label.gii.
  export --current      Convert the host's current document (see --surface).
      --colors          Also write the surface's colours as a .label.gii file.
      --binary          Write the data arrays compressed (GZipBase64Binary)
                        instead of as text (ASCII).
      --retinotopy-as-real
                        Write a polar angle or eccentricity map made from a
                        cross-correlation map (--answer 2 or 3 to its question)
                        as two plain arrays, the angle in degrees and the
                        correlation r, which every GIFTI reader opens, instead
                        of one complex array; other retinotopy maps (field
                        sign, angles without lags) go out as plain maps
                        (intent NONE), names and values kept.
      --labels-per-vertex
                        Write patches as one label for each vertex of the
                        mesh (key 0 "???" for vertices in no patch) instead
                        of node indices and their labels; Workbench and
                        FreeSurfer read label files that way.
      --cifti           Write a CIFTI-2 dense file instead of GIFTI, for
                        Workbench and HCP's and fMRIPrep's tools: maps.smp
                        gives maps.dscalar.nii, run1.mtc run1.dtseries.nii
                        (the TR as series step), areas.poi areas.dlabel.nii
                        (one label per vertex). The hemisphere comes from
                        the name (_LH, lh., hemi-L, .L.), else from the
                        host's surface (--surface).
      --freesurfer      Write FreeSurfer's own formats instead of GIFTI, for
                        freeview and FreeSurfer's tools, named as mris_convert
                        names them: lh.white.srf gives the surface lh.white
                        (the SRF's name without .srf; no volume geometry, so
                        FreeSurfer takes the coordinates as tkregister
                        space), maps.smp the overlay maps.mgz (a frame a
                        map), run1.mtc run1.mgz (a frame a volume, the TR in
                        its header), areas.poi the annotation areas.annot (a
                        colour-table entry a patch; patches of one colour, or
                        black, are moved one colour step apart, as FreeSurfer
                        tells labels by colour). A file that is already there
                        is replaced only when Meshbridge wrote it: the round
                        trip of lh.white never overwrites the reconstruction's
                        own. Not together with --cifti.
  print FILE            Dump the header of FILE (.gii, .gii.gz, .srf, .mtc, .smp
                        or .poi)
                        to the log.
  print --current       Dump the header of the host's current document
                        (the maps, time course or patches if given, else the
                        surface).
      --to-file         Also write the dump to an info file, named after the
                        file with "_info.txt" in place of its extension.
      --no-log          Do not send the dump to the log.
  convert PATH...       Import every file the import takes (GIFTI, FreeSurfer,
                        CIFTI-2; told by their contents) in the folders
                        PATH (walked to the bottom, links to folders
                        followed, each folder once) and the files PATH, each
                        in a process of its own, without asking anything:
                        what a file does not tell comes from --map-type,
                        --dof and --tr (a name with thickness, curv, sulc,
                        area or volume says shape values), else the file
                        is left out. A time series (its TR from the file or
                        its BIDS sidecar, else --tr) and a label file of some
                        vertices go with the converted surface of their
                        subject, hemisphere and vertex count (white before
                        midthickness before pial); surfaces are converted
                        first. Other files are skipped and counted. Each
                        file's row goes to the report OUT/meshbridge-report.tsv
                        (path, kind, outputs, status: converted, refused or
                        left out, reason, seconds) as it is done; a summary
                        line ends the run. Two files that would make one
                        output (lh.white, lh.white.gii) are not both taken
                        for converted: the later is refused, saying so.
                        On a terminal a progress line
                        shows what is done, failed and left; otherwise a
                        line a file.
      -o OUT, --output OUT
                        Write the results under OUT in the shape of the
                        folders (a folder PATH's under its own name); by
                        default beside each file, the report in the current
                        folder.
      --jobs N          Run N imports at a time (default: the machine's cores).
      --skip-existing   Leave out what the report of an earlier run names
                        converted, its outputs all there (after an
                        interrupted run: every row written is a whole file's).
      --shard K/N       Convert only the K-th of N shares, whole subjects each
                        (in the order of their folders), for a cluster's array
                        jobs; its report is OUT/meshbridge-report.K-of-N.tsv,
                        the header in the first share's, so that the shares'
                        reports concatenate.
      --map-type KIND, --dof N[,M], --tr MS
                        The answers of the run, as for import.
                        Exit status: 0 when every file recognised was
                        converted, 1 when any was refused or left out.
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
                        An answer that is none (maybe to a yes/no question,
                        1.5 to a whole-number question) is a usage error; a
                        number outside the question's range cancels it.
  --host-version X.Y.Z  Play a host whose plug-in interface has this version
                        (default 2.10.0). The plug-in refuses interface
                        versions below 2.9.5, those of Corvana releases before
                        20.0 ("Corvana version 20.0 or higher required").
  --code-page N         The code page of the host's texts (names of maps and
                        patches in SMP and POI files): 1251 for Cyrillic, 1250
                        for Central European, 65001 for UTF-8 and so on. By
                        default 1252 (Western European), on Windows the
                        system's own, as in Corvana.
  --plugin PATH         Load the plug-in library PATH instead of the one
                        installed or built beside this program.
  --version             Print the plug-in's name, version and description.
  --help                Print this help.

A file dialog with no FILE argument left is cancelled. Paths of files that
the plug-in is given (FILEs and the documents above) are at most 255 bytes
long, as in Corvana.

Exit status:
  0  the plug-in reported success (convert: every file recognised was converted)
  1  the plug-in reported failure (see the log and the message boxes; convert:
     a file was refused or left out, see the report)
  2  usage error, or the plug-in could not be loaded or initialised
)";
}

}  // namespace meshbridge::standin
