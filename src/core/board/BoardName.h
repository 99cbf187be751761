#pragma once
// What a marker name typed by the user may hold. A blank or a control byte would
// end the name early on every receiver and rename other markers with the rest.

#include <string_view>

// Shift-JIS bytes; the empty name is allowed.
bool IsValidBoardName(std::string_view Name);
