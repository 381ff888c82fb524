// The wizard's forms: every page that asks something sends its form to
// "cgi.htm"; the browser host cancels that navigation and hands its URL here.
#pragma once

#include <cstddef>

// Routes a cancelled navigation: a URL holding "cgi" goes to the form
// handler, "app:N" to the main window as app command N. Gives the browser
// event's result, always 0.
int dispatch_navigation(const char* url);

// Finds the first occurrence of `name` anywhere in the URL (exact case) and
// copies the value after it (one character skipped, up to the next '&'),
// undecoded and cut to size - 1 characters. False, with `value` unchanged,
// when the name does not occur.
bool find_field(const char* url, const char* name, char* value, size_t size);
// The field's leading decimal number; 0 when absent or without digits.
long number_field(const char* url, const char* name);

// Does the work of the page that sent the form and shows the next page.
int handle_form(const char* url);
