// The form in which a browser sends a link it was given: the HTTP clients of
// both backends open this form, so that a link gets the same outcome on every
// platform. Pure string work, no calls to the operating system.
#pragma once

#include <string>

namespace platform {
namespace common {

// Drops blanks and control characters around the link and every tab and line
// break inside it, takes backslashes before the query as slashes (the link's
// scheme is one of http, https and ftp whenever it is opened at all), and
// escapes the blanks and control characters left as %XX. Everything else,
// escapes already there included, stays as it is.
std::string browser_url_form(const std::string& url);

}  // namespace common
}  // namespace platform
