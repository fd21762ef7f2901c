// Times as lumenfold writes them: one formatter, so that a name or a field
// never differs from another only by how its time was spelled.
#pragma once

#include <string>

// "2026-12-08T16:47:26Z".
std::string isoUtcText(long long seconds);
// Now, local, for names of folders: "20261208-164707" and "2026-12-08-164707".
std::string localStamp();
std::string localDashedStamp();
