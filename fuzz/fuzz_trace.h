// The trace of a fuzz input: a TransferLog with a fixed clock in a folder of the process's own,
// emptied for every input, and a count of the lines written into it.
#pragma once

#include "transfer_log.h"

#include <cstdint>
#include <memory>
#include <string>

namespace knot::fuzz {
using namespace knot::device;

class FuzzTrace {
  public:
    FuzzTrace();
    ~FuzzTrace();
    FuzzTrace(const FuzzTrace&) = delete;
    FuzzTrace& operator=(const FuzzTrace&) = delete;

    TransferLog& Log() { return *m_log; }
    // The lines of the current and the rotated file together.
    std::uint64_t Lines() const;
    // The process's own folder, where a harness may keep files of its own too.
    static const std::string& Folder();

  private:
    std::string m_current;
    std::string m_rotated;
    std::unique_ptr<TransferLog> m_log;
};

} // namespace knot::fuzz
