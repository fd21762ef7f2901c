#include "output/formats.h"

#include "output/csv_format.h"
#include "output/json_format.h"
#include "output/markdown_format.h"
#include "output/text_format.h"

const std::vector<OutputFormat>& outputFormats() {
    static const std::vector<OutputFormat> formats = {
        {"text", textReport, textComparison, textFindings, textRunList, textAlerts, true},
        {"json", jsonReport, jsonComparison, jsonFindings, jsonRunList, jsonAlerts, true},
        {"csv", csvReport, csvComparison, csvFindings, csvRunList, csvAlerts, false},
        {"markdown", markdownReport, markdownComparison, markdownFindings, markdownRunList, markdownAlerts, true},
    };
    return formats;
}

const OutputFormat& outputFormat(const std::string& name) {
    for (const OutputFormat& format : outputFormats())
        if (format.name == name) return format;
    return outputFormats().front();
}

std::string formatChoices() {
    std::string choices;
    for (const OutputFormat& format : outputFormats()) choices += (choices.empty() ? "" : ", ") + format.name;
    return choices;
}

std::vector<std::string> formatNames() {
    std::vector<std::string> names;
    for (const OutputFormat& format : outputFormats()) names.push_back(format.name);
    return names;
}
