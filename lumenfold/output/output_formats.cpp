#include "output/output_formats.h"

#include "output/comparison_format.h"
#include "output/markdown_format.h"
#include "output/report_format.h"

const std::vector<OutputFormat>& outputFormats() {
    static const std::vector<OutputFormat> formats = {
        {"text", textReport, textComparison, true},
        {"json", jsonReport, jsonComparison, true},
        {"csv", csvReport, csvComparison, false},
        {"markdown", markdownReport, markdownComparison, true},
    };
    return formats;
}

const OutputFormat& outputFormat(const std::string& name) {
    for (const OutputFormat& format : outputFormats())
        if (format.name == name) return format;
    return outputFormats().front();
}

std::vector<std::string> formatNames() {
    std::vector<std::string> names;
    for (const OutputFormat& format : outputFormats()) names.push_back(format.name);
    return names;
}
