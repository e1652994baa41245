// The exit statuses of knot-fdt, named once for every command, for scripts and production
// benches to rely on.
#pragma once

namespace knot::station {
enum class ExitCode : int {
    Success = 0,
    ImageRejected = 1,       // the S-Record file holds a record that fails a check
    FileError = 2,           // a file could not be opened, read or written
    NoUnit = 3,              // no unit that qualifies is attached
    UnitRefused = 4,         // the unit refused a command or did not answer
    DownloadFailed = 5,      // the download stopped part way
    UnitBusy = 6,            // another program is writing the unit (or its lock cannot be taken)
    NotReleased = 7,         // the release manifest does not list the image, or cannot be trusted
    DatabaseUnreachable = 8, // the line's database could not be reached or refused the records
    UsageError = 64,         // the command line is wrong
    InternalError = 70,      // a fault of knot-fdt itself: what a library threw, said on stderr
    Interrupted = 130,       // stopped by the operator (Ctrl-C)
};

} // namespace knot::station
