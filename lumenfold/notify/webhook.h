// Posting a JSON document to a chat webhook or an issue tracker. An alert
// counts as sent only when the server said so (a 2xx answer); anything else
// is reported with what happened, so the caller can keep it for next time.
#pragma once

#include <string>

struct PostOutcome {
    bool delivered = false;   // the server answered 2xx
    long status = 0;          // the HTTP status, 0 when none came
    std::string error;        // for people, without the URL's secret part; empty when delivered
};

// Posts body as application/json to url (http or https only, no redirects
// followed: a redirect would carry the document where nobody configured it
// to go), giving up after timeoutSeconds in all.
PostOutcome postJson(const std::string& url, const std::string& body, long timeoutSeconds = 10);

// The URL as it may be printed: scheme, host and port. Webhook URLs carry
// their secret in the path, the query or the user part, so none of those is
// ever shown: "https://hooks.example.com/…".
std::string shownUrl(const std::string& url);
