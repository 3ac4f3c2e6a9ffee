#pragma once

#include "comm/uCommKestro.h"
#include "runtime/Exception.h"

#include <string>
#include <vector>

// A list of meter addresses that cannot be taken as written.
KESTRO_DECLARE_EXCEPTION(EAddressList, Exception);

// Parses a list of bus addresses such as "5", "05" or "1-10,15": numbers 0 to 99 of one or two
// decimal digits and ascending ranges, separated by commas, without blanks. The result keeps
// the order written; an address named twice is taken once, where it first appears. Anything
// else raises EAddressList with a message that names the offending part.
std::vector<TKestroAddr> ParseAddressList(const std::string& text);
