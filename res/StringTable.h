#pragma once

// The window's string table. Returns the UTF-8 text of a string resource, or "" for an id
// that has none.
const char* LoadResourceString(int id);
