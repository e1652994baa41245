// A small file replaced whole, so that a reader sees the old contents or the new, never a part:
// the contents go to a temporary file in the same folder, which is then renamed over the file.
#pragma once

#include <string>
#include <string_view>

namespace knot::station {
// Replaces `path` with `bytes` (the temporary file is `path` + ".tmp"); with `durable` the bytes
// reach the disk before the rename. False with the system's reason in `why`.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, bool durable,
                         std::string& why);

} // namespace knot::station
