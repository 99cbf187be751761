#include "BoardName.h"

#include <algorithm>

bool IsValidBoardName(std::string_view Name)
{
    // Byte by byte is enough: trail bytes of double-byte characters are 0x40 or above.
    return std::none_of(Name.begin(), Name.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}
