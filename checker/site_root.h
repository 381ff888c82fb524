// Cutting a dead link back to the root of its site.
#pragma once

#include <cstddef>

// Ends the URL in a field of `size` bytes at the first '/' after its host:
// the host starts after "://", or at the start when there is none. The
// cut-off text stays behind the new terminator; a URL without such a slash
// is left as it is.
void cut_to_site(char* url, size_t size);
