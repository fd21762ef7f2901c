#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include <openssl/evp.h>

#include "fixtures.h"
#include "output/history_page.h"
#include "output/html_report.h"
#include "output/page_shell.h"
#include "output/validation_page.h"

namespace {

std::string hashSource(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    return "'sha256-" + base64(std::string(reinterpret_cast<const char*>(digest), length)) + "'";
}

// The hashes a policy must name: of the text of every element of the kind
// that runs (a JSON data block does not).
std::set<std::string> elementHashes(const std::string& page, const std::string& open, const std::string& close) {
    std::set<std::string> hashes;
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t text = at + open.size();
        hashes.insert(hashSource(page.substr(text, page.find(close, text) - text)));
    }
    return hashes;
}

std::set<std::string> directive(const std::string& policy, const std::string& name) {
    std::set<std::string> sources;
    std::smatch found;
    if (!std::regex_search(policy, found, std::regex("(^|; )" + name + " ([^;]*)"))) return sources;
    std::istringstream words(found[2].str());
    for (std::string word; words >> word;) sources.insert(word);
    return sources;
}

}  // namespace

// The report, history and validation pages open alike, and each page's
// policy lets run exactly the scripts and style sheet it carries, named by
// hash: a script edited without its hash would be refused by the browser.
TEST(PageShell, EveryPageHasTheOneHeadAndAPolicyNamingWhatItCarries) {
    const ChartLibrary library{"Charts", "9.9", "test", "var Chart = 1; /* </script> */"};
    const std::vector<ReportedRun> runs = {{parseResultsText(cubeFile, "c.txt"), {}, ""}};
    const std::vector<std::pair<std::string, std::string>> pages = {
        {"report", htmlPage(runs, {}, library, "lumenfold test")},
        {"history", historyPage({}, {}, library, "lumenfold test")},
        {"validation", validationPage(ValidationSummary{"<cube>", "llvmpipe", "reference", "none", 16}, {}, "test")}};
    const std::regex head("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta http-equiv=\"Content-Security-Policy\" content=\"([^\"]*)\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<title>[^<]*</title>\n<style>[^<]*</style>\n</head>\n<body>\n");
    std::set<std::string> otherDirectives;
    for (const auto& [name, page] : pages) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(page, m, head, std::regex_constants::match_continuous)) << name;
        const std::string policy = m[1];
        EXPECT_EQ(policy.find("unsafe"), std::string::npos) << policy;
        EXPECT_EQ(directive(policy, "default-src"), std::set<std::string>{"'none'"}) << name;
        const std::set<std::string> scripts = elementHashes(page, "<script>", "</script>");
        EXPECT_EQ(directive(policy, "script-src"), scripts) << name;
        EXPECT_EQ(scripts.size(), name == "validation" ? 0u : 2u) << name;
        EXPECT_EQ(directive(policy, "style-src"), elementHashes(page, "<style>", "</style>")) << name;
        otherDirectives.insert(std::regex_replace(policy, std::regex("(script|style)-src [^;]*; "), ""));
        EXPECT_TRUE(page.ends_with("</body>\n</html>\n")) << name;
    }
    EXPECT_EQ(otherDirectives,
              std::set<std::string>{"default-src 'none'; img-src data:; base-uri 'none'; form-action 'none'"});
    EXPECT_NE(pages[2].second.find("<title>Lumenfold validation: &lt;cube&gt;</title>"), std::string::npos);
}

// A site's page takes its style sheet and scripts from shared files: the
// policy trusts the page's own origin for them and still names the inline
// style by hash; nothing else changes, and the file names are escaped.
TEST(PageShell, SharedFilesAreTrustedByOriginOnly) {
    PageParts parts;
    parts.title = "site";
    parts.body = "<p>x</p>\n";
    parts.dataId = "d";
    parts.dataJson = "{\"n\":[1,2]}";
    parts.styleFiles = {"../assets/site.css"};
    parts.scriptFiles = {"../assets/chart.js", "../runs/a\"b.js"};
    const std::string page = pageHtml(parts);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, std::regex("content=\"([^\"]*)\"")));
    const std::string policy = m[1];
    EXPECT_EQ(directive(policy, "script-src"), std::set<std::string>{"'self'"});
    std::set<std::string> styles = elementHashes(page, "<style>", "</style>");
    styles.insert("'self'");
    EXPECT_EQ(directive(policy, "style-src"), styles);
    EXPECT_NE(policy.find("default-src 'none'; "), std::string::npos);
    EXPECT_TRUE(page.ends_with("<p>x</p>\n<script type=\"application/json\" id=\"d\">{\"n\":[1,2]}</script>\n"
                               "<script src=\"../assets/chart.js\"></script>\n"
                               "<script src=\"../runs/a&quot;b.js\"></script>\n</body>\n</html>\n"))
        << page;
    EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"../assets/site.css\">\n</head>"), std::string::npos);
}
