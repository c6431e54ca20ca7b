#pragma once

#include <string>
#include <vector>

// The names joined by ", ", as many as fit in columns characters together with the count of
// the rest ("SN:TW00000001, SN:TW00000002 and 254 more"); at least one name is given.
std::string NamesInOneLine(const std::vector<std::string>& names, std::size_t columns);
