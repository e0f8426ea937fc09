// meshbridge: the stand-in host. It loads the plug-in library, plays the host's
// part for one command and reports the plug-in's outcome as its exit status.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/plugin_interface.h"
#include "standin/command_line.h"
#include "standin/convert_command.h"
#include "standin/host_documents.h"
#include "standin/host_session.h"
#include "standin/plugin_library.h"

using namespace meshbridge::standin;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The plug-in's HTML description as plain text for the terminal.
std::string plainText(const std::string& html) {
    // A link keeps its target: "here (MeshbridgeHelp/index.html)".
    std::string text = std::regex_replace(
        html, std::regex("<[aA]\\s+[hH][rR][eE][fF]=\"([^\"]*)\"[^>]*>(.*?)</[aA]>"), "$2 ($1)");
    text = std::regex_replace(text, std::regex("<[bB][rR]\\s*/?>"), "\n");
    text = std::regex_replace(text, std::regex("<[^>]*>"), "");
    return std::regex_replace(text, std::regex("\n\\.$"), ".");  // a sentence's last stop on a line of its own
}

// The manual installed or built with this program, if there is one.
std::string manualPath(const std::string& pluginPath, const std::string& helpFile) {
    // Beside the plug-in (Windows), in share/meshbridge of the prefix the
    // plug-in's lib folder lies in, or in the sources of a build.
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(pluginPath, error).parent_path();
    if (std::filesystem::exists(folder / helpFile, error)) return (folder / helpFile).string();
    for (std::filesystem::path prefix = folder; prefix.has_relative_path(); prefix = prefix.parent_path()) {
        if (std::filesystem::exists(prefix / "share" / "meshbridge" / helpFile, error))
            return (prefix / "share" / "meshbridge" / helpFile).string();
    }
    const std::filesystem::path sources = std::filesystem::path(MESHBRIDGE_SOURCE_DIR) / "install" / helpFile;
    return std::filesystem::exists(sources, error) ? sources.string() : helpFile;
}

// What a command left in the host's documents, on standard error.
void reportHostDocuments() {
    const HostDocuments& documents = HostDocuments::current();
    const auto report = [](const std::string& text) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) std::cerr << "meshbridge: host " << line << "\n";
    };
    if (documents.mapsChanged()) {
        std::cerr << "meshbridge: the host's surface has " << documents.maps().size() << " maps\n";
        report(documents.mapsReport());
    }
    if (documents.patchesChanged()) report(documents.patchesReport());
    if (documents.timeCourseChanged()) report(documents.timeCourseReport());
}

int printVersion(const PluginLibrary& library, const std::string& path) {
    const PluginEntryPoints& entry = library.entryPoints();
    std::cout << entry.getPluginName() << "\n"
              << "Plug-in version: " << entry.getPluginVersion() << "\n"
              << "Authors: " << plainText(entry.getAuthor()) << "\n"
              << "Dialog script: " << entry.getGUIScript() << "\n"
              << "Help page: " << entry.getHelpFile() << "\n"
              << "Manual: " << manualPath(path, entry.getHelpFile()) << "\n"
              << "Library: " << path << "\n\n"
              << plainText(entry.getPluginDescription()) << "\n";
    return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The log and messages leave with "\n" line ends, as on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "meshbridge: " << parsed.error << "\nTry 'meshbridge --help'.\n";
        return kExitUsage;
    }
    const Invocation& invocation = parsed.invocation;
    if (invocation.action == Action::Help) {
        std::cout << helpText();
        return kExitSuccess;
    }

    // The plug-in reads the host's code page from the environment when it is given.
    if (invocation.codePage > 0) {
#ifdef _WIN32
        _putenv_s("MESHBRIDGE_CODE_PAGE", std::to_string(invocation.codePage).c_str());
#else
        setenv("MESHBRIDGE_CODE_PAGE", std::to_string(invocation.codePage).c_str(), 1);
#endif
    }
    std::string path = invocation.pluginPath;
    if (path.empty()) {
        const std::vector<std::string> candidates = pluginCandidates();
        std::error_code error;
        for (const std::string& candidate : candidates) {
            if (std::filesystem::exists(candidate, error)) {
                path = candidate;
                break;
            }
        }
        if (path.empty()) {
            std::cerr << "meshbridge: the plug-in is in none of the places this program looks:";
            for (const std::string& candidate : candidates) std::cerr << "\n  " << candidate;
            std::cerr << "\nName it with --plugin FILE.\n";
            return kExitUsage;
        }
    }
    PluginLibrary library(path);
    if (!library.loaded()) {
        std::cerr << "meshbridge: cannot load the plug-in " << path << ": " << library.error() << "\n";
        return kExitUsage;
    }
    if (invocation.action == Action::Version) return printVersion(library, path);
    if (invocation.command == "convert") {
        std::error_code error;
        return runConvert(invocation, std::filesystem::absolute(path, error).string());
    }

    // The surface first: the maps, time course and patches lie on it.
    using Open = bool (HostDocuments::*)(const std::string&, std::string&);
    const struct {
        const char* option;
        const std::string& path;
        Open open;
    } documents[] = {{"--surface", invocation.surfacePath, &HostDocuments::openSurface},
                     {"--timecourse", invocation.timeCoursePath, &HostDocuments::openTimeCourse},
                     {"--patches", invocation.patchesPath, &HostDocuments::openPatches},
                     {"--maps", invocation.mapsPath, &HostDocuments::openMaps}};
    for (const auto& document : documents) {
        std::string error;
        if (!document.path.empty() && !(HostDocuments::current().*document.open)(document.path, error)) {
            std::cerr << "meshbridge: " << document.option << ": " << error << "\n";
            return kExitUsage;
        }
    }

    // An import into another folder makes it first, as a save dialog would.
    if (!invocation.outputFolder.empty()) {
        std::error_code error;
        if (!std::filesystem::create_directories(invocation.outputFolder, error) && error) {
            std::cerr << "meshbridge: --output: cannot make the folder " << invocation.outputFolder << ": "
                      << error.message() << "\n";
            return kExitUsage;
        }
    }

    HostSession& session = HostSession::current();
    session.version = invocation.hostVersion;
    session.parameters = invocation.parameters;
    session.dialogFiles.assign(invocation.files.begin(), invocation.files.end());
    session.answers.assign(invocation.answers.begin(), invocation.answers.end());
    session.standing = invocation.standing;

    std::unique_ptr<CRZTPluginInterface, PluginDeleter> plugin(library.entryPoints().createPlugin());
    if (!plugin) {
        std::cerr << "meshbridge: the plug-in could not create its object\n";
        return kExitUsage;
    }
    if (!plugin->initPlugin()) {
        std::cerr << "meshbridge: the plug-in refused to start under host version "
                  << session.version.first << "." << session.version.second << "."
                  << session.version.third << "\n";
        return kExitUsage;
    }
    const bool succeeded = plugin->execute();
    plugin.reset();
    reportHostDocuments();
    // After a surface import with "open", the dialog script opens the surface.
    if (const auto opened = session.parameters.find("SrfFileName"); opened != session.parameters.end() &&
        !opened->second.empty() && invocation.parameters.count("SrfFileName") == 0) {
        std::cerr << "meshbridge: the host opens the surface " << opened->second << "\n";
    }
    return succeeded ? kExitSuccess : kExitFailure;
}
