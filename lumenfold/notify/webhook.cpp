#include "notify/webhook.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace {

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

std::string shownUrl(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return "(a URL without a scheme)";
    size_t hostStart = scheme + 3;
    size_t hostEnd = url.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = url.size();
    std::string host = url.substr(hostStart, hostEnd - hostStart);
    const size_t at = host.rfind('@');
    if (at != std::string::npos) host = host.substr(at + 1);
    const bool more = hostEnd < url.size() || at != std::string::npos;
    return url.substr(0, scheme + 3) + host + (more ? "/…" : "");
}

PostOutcome postJson(const std::string& url, const std::string& body, long timeoutSeconds) {
    initialiseOnce();
    PostOutcome out;
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        out.error = "cannot start an HTTP client";
        return out;
    }
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
    char message[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
    const CURLcode done = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &out.status);
    const std::string where = shownUrl(url);
    if (done != CURLE_OK) {
        // libcurl's message may quote the URL; its code's text does not.
        out.error = "cannot post to " + where + ": " +
                    (done == CURLE_OPERATION_TIMEDOUT ? "no answer within " + std::to_string(timeoutSeconds) + " s"
                                                      : std::string(curl_easy_strerror(done)));
        return out;
    }
    out.delivered = out.status >= 200 && out.status < 300;
    if (!out.delivered) out.error = where + " answered HTTP " + std::to_string(out.status);
    return out;
}
