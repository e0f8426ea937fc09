// The host's patches of interest.
#include "standin/host_documents.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/colors.h"
#include "standin/file_bytes.h"

namespace meshbridge::standin {

namespace {

// A POI file as the host reads it: keys and values, line by line.
bool readPatches(const std::string& path, std::vector<HostPatch>& patches, std::int32_t& timeCourses, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    auto valueOf = [](const std::string& line) {
        const std::size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        return value;
    };
    auto quoted = [](const std::string& value) {
        return value.size() >= 2 && value.front() == '"' ? value.substr(1, value.size() - 2) : value;
    };
    patches.clear();
    timeCourses = 0;
    std::string line;
    HostPatch* patch = nullptr;
    int pending = 0;  // vertex lines still to come for the current patch
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (pending > 0 && patch) {
            patch->vertices.push_back(std::atoi(line.c_str()));
            --pending;
            continue;
        }
        const std::string key = line.substr(0, line.find(':'));
        const std::string value = valueOf(line);
        if (key == "NameOfPOI") {
            patches.emplace_back();
            patch = &patches.back();
            std::snprintf(patch->info.name, sizeof patch->info.name, "%s", quoted(value).c_str());
        } else if (patch && key == "InfoTextFile") {
            std::snprintf(patch->info.infoTextFile, sizeof patch->info.infoTextFile, "%s", quoted(value).c_str());
        } else if (patch && key == "ColorOfPOI") {
            int red = 0, green = 0, blue = 0;
            std::sscanf(value.c_str(), "%d %d %d", &red, &green, &blue);
            patch->info.color = meshbridge::packedRgb(std::clamp(red, 0, 255), std::clamp(green, 0, 255),
                                                      std::clamp(blue, 0, 255));
        } else if (patch && key == "LabelVertex") {
            patch->info.labelVertex = std::atoi(value.c_str());
        } else if (patch && key == "NrOfVertices") {
            pending = std::max(0, std::atoi(value.c_str()));
            patch->info.nrOfVertices = pending;
        } else if (key == "NrOfPOIMTCs") {
            timeCourses = std::atoi(value.c_str());
        }
    }
    if (pending > 0) {
        error = path + " ends inside a patch";
        return false;
    }
    return true;
}

}  // namespace

bool HostDocuments::openPatches(const std::string& path, std::string& error) {
    if (!readPatches(path, patches_, patchTimeCourses_, error)) return false;
    patchesFileName_ = path;
    return true;
}

bool HostDocuments::describePatches(HostPoiList& list) {
    std::memset(&list, 0, sizeof list);
    list.nrOfPOIs = static_cast<std::int32_t>(patches_.size());
    list.nrOfPOIMTCs = patchTimeCourses_;
    std::snprintf(list.fileName, sizeof list.fileName, "%s", patchesFileName_.c_str());
    return true;
}

std::int32_t* HostDocuments::describePatch(int index, HostPoiInfo& info) {
    std::memset(&info, 0, sizeof info);
    if (index < 0 || static_cast<std::size_t>(index) >= patches_.size()) return nullptr;
    HostPatch& patch = patches_[static_cast<std::size_t>(index)];
    info = patch.info;
    return patch.vertices.data();
}

bool HostDocuments::loadPatchesFile(const std::string& path) {
    std::string error;
    if (!hasSurface_ || !readPatches(path, patches_, patchTimeCourses_, error)) return false;
    patchesFileName_ = path;
    patchesChanged_ = true;
    return true;
}

std::string HostDocuments::patchesReport() const {
    std::ostringstream report;
    report << patches_.size() << " patches from " << patchesFileName_ << "\n";
    for (std::size_t i = 0; i < patches_.size(); ++i) {
        const HostPatch& patch = patches_[i];
        report << "patch " << i + 1 << " \"" << patch.info.name << "\": colour " << patch.info.color << ", label vertex "
               << patch.info.labelVertex << ", vertices";
        for (std::size_t k = 0; k < std::min<std::size_t>(patch.vertices.size(), 6); ++k) report << " " << patch.vertices[k];
        report << (patch.vertices.size() > 6 ? " ...\n" : "\n");
    }
    return report.str();
}

}  // namespace meshbridge::standin
