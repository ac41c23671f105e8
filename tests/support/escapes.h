#pragma once
// Byte strings written with escapes in test fixtures:
//   \r \n \b \t \\ \xHH   the usual bytes
//   \*N<unit>            <unit> (one character or one escape) repeated N times
//   \*N(text)            text repeated N times
// Decode throws std::invalid_argument on a malformed escape.
#include <string>

namespace pelko::test {

std::string Decode(const std::string& text);

} // namespace pelko::test
