// The S-Record loader: the file-level loop that feeds each read to the record rules and stores
// what passes. FirmwareImage::loadSRecordFile is its entry point; this header adds the words.
#pragma once

#include "firmware_image.h"

namespace knot::core {
// A short English description of why a record stopped a load, for operators and logs.
const char* DescribeRejectReason(RejectReason reason);

} // namespace knot::core
