#include "output/validation_page.h"

#include "common/display_text.h"
#include "output/page_assets.h"
#include "output/page_shell.h"

namespace {

std::string figure(const std::string& caption, const std::string& png, long long step) {
    std::string out = "<figure><figcaption>" + caption + "</figcaption>";
    if (png.empty())
        out += "<p class=\"missing\">not captured</p>";
    else
        out += "<img alt=\"" + caption + ", step " + std::to_string(step) + "\" src=\"data:image/png;base64," +
               base64(png) + "\">";
    return out + "</figure>";
}

}  // namespace

std::string validationPage(const ValidationSummary& summary, const std::vector<StepView>& steps,
                           const std::string& generator) {
    std::string page = "<h1>Validation of " + htmlText(displayText(summary.program)) + "</h1>\n<p>Drawn on: " +
                       htmlText(displayText(summary.drawnOn)) + "<br>Expected: " +
                       htmlText(displayText(summary.reference)) + "<br>Tolerance: " +
                       htmlText(displayText(summary.tolerance)) + "<br>Written by " + htmlText(displayText(generator)) +
                       "</p>\n";
    for (const StepView& s : steps) {
        const std::string id = std::to_string(s.step);
        page += "<section id=\"step-" + id + "\">\n<h2>Step " + id + "</h2>\n<p class=\"" +
                (s.differs ? "differs" : "passes") + "\">" + htmlText(displayText(s.verdict)) +
                "</p>\n<div class=\"row\">" +
                figure("expected", s.expectedPng, s.step) + figure("drawn", s.drawnPng, s.step) +
                figure("difference &times; " + std::to_string(summary.gain), s.differencePng, s.step) +
                "</div>\n</section>\n";
    }
    PageParts parts;
    parts.title = "Lumenfold validation: " + displayText(summary.program);
    parts.style = validationPageStyle();
    parts.body = std::move(page);
    return pageHtml(parts);
}
