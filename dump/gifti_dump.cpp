#include "dump/gifti_dump.h"

#include "common/text.h"
#include "dump/output_stage.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

void appendMetadata(std::string& text, const nvpairs& meta) {
    for (int i = 0; i < meta.length; ++i) {
        appendText(text, "Number: %d\n", i);
        appendText(text, "Name: %s\n", meta.name ? textOrEmpty(meta.name[i]).c_str() : "");
        appendText(text, "Value: %s\n", meta.value ? textOrEmpty(meta.value[i]).c_str() : "");
    }
}

void appendCoordinateSystem(std::string& text, const giiCoordSystem& system) {
    appendText(text, "Data space: %s\n", textOrEmpty(system.dataspace).c_str());
    appendText(text, "XForm space: %s\n", textOrEmpty(system.xformspace).c_str());
    text += "Matrix data:\n";
    for (const auto& row : system.xform) {
        for (double value : row) appendText(text, "\t%f", value);
        text += "\n";
    }
}

void appendDataArray(std::string& text, const giiDataArray& array, int number) {
    appendText(text, "\nDataArray %i\nGIfTI intent: \n%s\n", number,
               textOrEmpty(gifti_intent_to_string(array.intent)).c_str());
    appendText(text, "GIfTI data type: \n%s\n", textOrEmpty(gifti_datatype2str(array.datatype)).c_str());
    appendText(text, "ArrayIndexingOrder: %d\n", array.ind_ord);
    appendText(text, "Dimensionality: %d\n", array.num_dim);
    appendText(text, "Dim0: %d\n", array.dims[0]);
    appendText(text, "Dim1: %d\n", array.dims[1]);
    if (array.num_dim > 2) appendText(text, "Dim2: %d\n", array.dims[2]);
    appendText(text, "Encoding: %s\n",
               textOrEmpty(gifti_list_index2string(gifti_encoding_list, array.encoding)).c_str());
    appendText(text, "Endian: %s\n",
               textOrEmpty(gifti_list_index2string(gifti_endian_list, array.endian)).c_str());
    appendText(text, "External file name: %s\n", textOrEmpty(array.ext_fname).c_str());
    appendText(text, "External file offset: %lld\n", static_cast<long long>(array.ext_offset));
    appendText(text, "Number of MetaData tags of DataArray: %d\n", array.meta.length);
    appendMetadata(text, array.meta);
    if (array.intent == NIFTI_INTENT_POINTSET && array.numCS > 0 && array.coordsys &&
        array.coordsys[0]) {
        appendCoordinateSystem(text, *array.coordsys[0]);
    }
}

}  // namespace

std::string giftiHeaderText(const gifti_image& image, const std::string& fileName) {
    std::string text;
    appendText(text, "\nGIfTI filename: \n%s\n", fileName.c_str());
    appendText(text, "Number of MetaData tags: %d\n", image.meta.length);
    appendMetadata(text, image.meta);
    for (int i = 0; i < image.numDA; ++i) {
        if (image.darray && image.darray[i]) appendDataArray(text, *image.darray[i], i + 1);
    }
    return text;
}

bool dumpGiftiHeader(const gifti_image& image, bool toFile, bool toLog, const std::string& fileName) {
    std::string text;
    try {
        text = giftiHeaderText(image, fileName);
    } catch (...) {
        logText("Error while printing GIfTI header data to ascii");
        return false;
    }
    return outputHeaderDump(text, fileName, toFile, toLog, FileMode::Text,
                            "Error while printing GIfTI header data to ascii");
}

GiftiImagePtr readGiftiFileOrLog(const std::string& path, bool readData) {
    std::string problem;
    GiftiImagePtr image = readGiftiImage(path, readData, &problem);
    if (!image) {
        logText(formatText("Reading of GIfTI file did not succeed: %s", path.c_str()));
        if (!problem.empty()) logText(formatText("%s: %s.", path.c_str(), problem.c_str()));
    }
    return image;
}

bool printGiftiFile(bool toFile, bool toLog) {
    const std::optional<std::string> name =
        chooseFile("Please select the GIFTI file", "*.gii", "No GIFTI file was selected. Procedure finished.");
    if (!name) return false;
    const GiftiImagePtr image = readGiftiFileOrLog(*name, false);
    if (!image) return false;
    return dumpGiftiHeader(*image, toFile, toLog, *name);
}

}  // namespace meshbridge
