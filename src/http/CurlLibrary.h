#pragma once

// libcurl's global set-up, made once for the whole program before the first
// handle, from whichever thread comes first.
namespace CurlLibrary {
void initialize();
}
