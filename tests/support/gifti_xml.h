// GIFTI files written out as text for tests, the way other tools write them.
#pragma once

#include <string>
#include <vector>

namespace meshbridge::test {

// One data array with ASCII data; `attributes` gives Dimensionality and the Dims.
inline std::string dataArray(const std::string& intent, const std::string& type, const std::string& attributes,
                             const std::string& data, const std::string& metadata = "",
                             const std::string& order = "RowMajorOrder") {
    return "<DataArray Intent=\"" + intent + "\" DataType=\"" + type + "\" ArrayIndexingOrder=\"" + order + "\" " +
           attributes + " Encoding=\"ASCII\" Endian=\"LittleEndian\" ExternalFileName=\"\" "
           "ExternalFileOffset=\"\"><MetaData>" + metadata + "</MetaData><Data>" + data + "</Data></DataArray>\n";
}

// A metadata entry.
inline std::string md(const std::string& name, const std::string& value) {
    return "<MD><Name><![CDATA[" + name + "]]></Name><Value><![CDATA[" + value + "]]></Value></MD>";
}

inline std::string gifti(const std::vector<std::string>& arrays, const std::string& labelTable = "<LabelTable/>",
                         const std::string& metadata = "") {
    std::string xml = "<?xml version=\"1.0\"?>\n<GIFTI Version=\"1.0\" NumberOfDataArrays=\"" +
                      std::to_string(arrays.size()) + "\">\n<MetaData>" + metadata + "</MetaData>\n" + labelTable + "\n";
    for (const auto& array : arrays) xml += array;
    return xml + "</GIFTI>\n";
}

}  // namespace meshbridge::test
