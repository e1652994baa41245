// A folder of the user's own that no other user may write to: the simulator's rendezvous folder
// and the folder of the unit locks. Whoever else could write there could listen in on a unit or
// hold its lock. POSIX only.
#pragma once

#include <string>

namespace knot::device {
// Why `directory` cannot be trusted as the user's private `role` (e.g. "rendezvous folder"), or
// "" when it can: it must be a folder of the user who runs us, and no other user may write to
// it. A folder that does not exist yet is no problem here: there is nothing in it yet.
std::string PrivateFolderProblem(const std::string& directory, const std::string& role);
// Creates the folder (mode 0700, its parents as needed) unless it exists, then checks it as
// above; "" on success, else what is wrong.
std::string MakePrivateFolder(const std::string& directory, const std::string& role);

} // namespace knot::device
