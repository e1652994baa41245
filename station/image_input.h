// The S-Record image a command names: a file, or standard input for "-". It is read once, piece
// by piece, and the loader and the SHA-256 both take each piece, so the digest is of what was
// loaded.
#pragma once

#include "srecord_loader.h"

#include <memory>
#include <optional>
#include <string>

namespace knot::station {
using namespace knot::core;

// The FILE argument that stands for standard input.
inline constexpr const char* STANDARD_INPUT_ARGUMENT = "-";

// How messages name the image: its path, or "standard input".
std::string ImageName(const std::string& path);

// Gives back the memory of an image that NewImage made.
struct ImageRelease {
    void operator()(FirmwareImage* image) const;
};
using ImageHolder = std::unique_ptr<FirmwareImage, ImageRelease>;

// A fresh image, its memory handed over whole where the system can: a full image touches every
// one of its 768 KB, and taking them one page fault at a time costs more than loading the file.
ImageHolder NewImage();

struct ImageRead {
    LoadResult load;
    std::optional<std::string> sha256; // of the bytes read; nothing when they could not be read
};

// Reads the image at `path` (standard input for "-") and loads it into `image` by the loader's
// rules, with the dumps after a complete load when `writeDumps`.
ImageRead LoadImageFile(const std::string& path, bool writeDumps, const VariantProfile& profile,
                        FirmwareImage& image, StoredRecordObserver* observer);

// Why a record was refused, with the record's address when it lies outside the address map.
std::string DescribeRejection(const LoadResult& load, const VariantProfile& profile);
// The operator's text of a failed load: the reading error, or the window's text with the file,
// the refused record's line and DescribeRejection.
std::string LoadFailureText(const std::string& path, const LoadResult& load,
                            const VariantProfile& profile);

} // namespace knot::station
