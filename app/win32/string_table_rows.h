// How the resource script writes one entry of the shared string list (string_table_entries.inc).
// The definition lives in a header because the resource compiler ignores definitions made in the
// script itself, and the list is not a header because it reads no resources from a header.
#pragma once

#define KNOT_STRING(id, text) id, text

namespace knot::win32 {} // namespace knot::win32
