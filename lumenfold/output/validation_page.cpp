#include "output/validation_page.h"

#include <cstdint>

#include "common/display_text.h"
#include "output/html_report.h"

namespace {

std::string escaped(const std::string& raw) { return htmlText(displayText(raw)); }

std::string figure(const std::string& caption, const std::string& png, long long step) {
    std::string out = "<figure><figcaption>" + caption + "</figcaption>";
    if (png.empty())
        out += "<p class=\"missing\">not captured</p>";
    else
        out += "<img alt=\"" + caption + ", step " + std::to_string(step) + "\" src=\"data:image/png;base64," +
               base64(png) + "\">";
    return out + "</figure>";
}

constexpr const char* validationStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    // Three abreast at any width, so that the same place lines up across them.
    ".row{display:flex;gap:1em}figure{margin:0;flex:1 1 0;min-width:0}"
    "figcaption{font-weight:bold;margin-bottom:.3em}"
    "img{width:100%;border:1px solid #888;image-rendering:pixelated}"
    ".differs{color:#b00020}.passes{color:#1b5e20}.missing{color:#b00020}";

}  // namespace

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned value = 0;
        for (size_t k = 0; k < 3; ++k) value = value << 8 | (k < n ? uint8_t(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[(value >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string validationPage(const ValidationSummary& summary, const std::vector<StepView>& steps,
                           const std::string& generator) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        // Offline and inert: the images are in the page, nothing else may load.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
        "img-src data:\">\n<title>Lumenfold validation: " +
        escaped(summary.program) + "</title>\n<style>" + validationStyle + "</style>\n</head>\n<body>\n";
    page += "<h1>Validation of " + escaped(summary.program) + "</h1>\n<p>Drawn on: " + escaped(summary.drawnOn) +
            "<br>Expected: " + escaped(summary.reference) + "<br>Tolerance: " + escaped(summary.tolerance) +
            "<br>Written by " + escaped(generator) + "</p>\n";
    for (const StepView& s : steps) {
        const std::string id = std::to_string(s.step);
        page += "<section id=\"step-" + id + "\">\n<h2>Step " + id + "</h2>\n<p class=\"" +
                (s.differs ? "differs" : "passes") + "\">" + escaped(s.verdict) + "</p>\n<div class=\"row\">" +
                figure("expected", s.expectedPng, s.step) + figure("drawn", s.drawnPng, s.step) +
                figure("difference &times; " + std::to_string(summary.gain), s.differencePng, s.step) +
                "</div>\n</section>\n";
    }
    return page + "</body>\n</html>\n";
}
