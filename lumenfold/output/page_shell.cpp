#include "output/page_shell.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include <openssl/evp.h>

namespace {

std::string sha256Source(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available from OpenSSL");
    return "'sha256-" + base64(std::string(reinterpret_cast<const char*>(digest), length)) + "'";
}

// Nothing may be fetched: the page must work offline, and a hostile string
// that slipped through could neither load nor run anything, nor send a form
// or move the page's base. What runs and styles it is named by its hash, so
// that only the exact text the page was written with is trusted.
// A site's shared files are trusted by origin instead: 'self', the folder
// the pages were read from, never anything fetched from elsewhere.
std::string sourceList(const char* directive, const std::vector<std::string>& inlined, bool files) {
    if (inlined.empty() && !files) return "";
    std::string list = std::string(" ") + directive;
    if (files) list += " 'self'";
    for (const std::string& text : inlined) list += " " + sha256Source(text);
    return list + ";";
}

std::string contentPolicy(const std::vector<std::string>& scripts, const std::vector<std::string>& styles,
                          const PageParts& parts) {
    std::string policy = "default-src 'none';";
    policy += sourceList("script-src", scripts, !parts.scriptFiles.empty());
    policy += sourceList("style-src", styles, !parts.styleFiles.empty());
    return policy + " img-src data:; base-uri 'none'; form-action 'none'";
}

}  // namespace

std::string pageHtml(const PageParts& parts) {
    // The text of each element exactly as written, which is what its hash covers.
    const std::string style = "\n" + parts.style;
    std::vector<std::string> scripts;
    if (parts.library) scripts.push_back(inlineScript(parts.library->code));
    if (!parts.script.empty()) scripts.push_back("\n" + inlineScript(parts.script));
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"" + contentPolicy(scripts, {style}, parts) +
                       "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
                       htmlText(parts.title) + "</title>\n<style>" + style + "</style>\n";
    for (const std::string& sheet : parts.styleFiles)
        page += "<link rel=\"stylesheet\" href=\"" + htmlText(sheet) + "\">\n";
    page += "</head>\n<body>\n" + parts.body;
    if (parts.library) page += "<script>" + scripts.front() + "</script>\n";
    if (!parts.dataId.empty())
        page += "<script type=\"application/json\" id=\"" + htmlText(parts.dataId) + "\">" +
                (parts.dataJson.empty() ? scriptJson(parts.data) : parts.dataJson) +
                "</script>\n";
    if (!parts.script.empty()) page += "<script>" + scripts.back() + "</script>\n";
    for (const std::string& script : parts.scriptFiles) page += "<script src=\"" + htmlText(script) + "\"></script>\n";
    return page + "</body>\n</html>\n";
}

std::string htmlText(const std::string& displayed) {
    std::string out;
    out.reserve(displayed.size());
    for (char c : displayed) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// JSON inside a script element: nothing in it may close the element or
// open a comment, so <, > and & are written as \u escapes.
std::string scriptJson(const nlohmann::json& value) {
    const std::string text = value.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<') out += "\\u003c";
        else if (c == '>') out += "\\u003e";
        else if (c == '&') out += "\\u0026";
        else out += c;
    }
    return out;
}

// A script inlined whole: only a closing tag could end it early.
std::string inlineScript(const std::string& code) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = code.find("</", from)) != std::string::npos; from = at + 2)
        out += code.substr(from, at - from) + "<\\/";
    return out + code.substr(from);
}

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
