#include "image_input.h"

#include "exclusive_file.h"
#include "operator_texts.h"
#include "sha256.h"
#include "variant_profile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace knot::station {
using namespace knot::core;
using namespace knot::logic;

using knot::station::Sha256;

namespace {

// The image's stream: standard input for "-", else the file, not shared while it is read (as
// the window reads it). Null with errno set when the file cannot be opened.
std::FILE* OpenImage(const std::string& path) {
    if (path == STANDARD_INPUT_ARGUMENT) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY); // the loader applies the text-mode rules itself
#endif
        return stdin;
    }
    errno = 0;
    return OpenExclusive(path.c_str(), "rb");
}

// Feeds what is left of `file` to `digest`: the loader stops at a 0x1A byte or at a refused
// record, and the digest is of the whole file. The system's error number, or 0.
int DigestTheRest(std::FILE* file, Sha256& digest) {
    char buffer[64 * 1024];
    errno = 0;
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        digest.Update(buffer, got);
    }
    return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

bool IsAddressReason(RejectReason reason) {
    return reason == RejectReason::CpuRangeExceeded || reason == RejectReason::FlashOutOfRange ||
           reason == RejectReason::BelowFlashBase;
}

} // namespace

#if defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)

namespace {

constexpr std::size_t HUGE_PAGE_SIZE = std::size_t{2} << 20; // x86-64's and arm64's
static_assert(sizeof(FirmwareImage) <= HUGE_PAGE_SIZE);

} // namespace

ImageHolder NewImage() {
    // Room for one huge page where the system gives one: a single fault instead of 192. Else
    // the image's own pages, all at once.
    void* memory = std::aligned_alloc(HUGE_PAGE_SIZE, HUGE_PAGE_SIZE);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    madvise(memory, HUGE_PAGE_SIZE, MADV_HUGEPAGE);
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    madvise(memory, (sizeof(FirmwareImage) + page - 1) / page * page, MADV_POPULATE_WRITE);
    return ImageHolder(new (memory) FirmwareImage());
}

void ImageRelease::operator()(FirmwareImage* image) const {
    image->~FirmwareImage();
    std::free(image);
}

#else

ImageHolder NewImage() {
    return ImageHolder(new FirmwareImage());
}

void ImageRelease::operator()(FirmwareImage* image) const {
    delete image;
}

#endif

std::string ImageName(const std::string& path) {
    return path == STANDARD_INPUT_ARGUMENT ? "standard input" : path;
}

ImageRead LoadImageFile(const std::string& path, bool writeDumps, const VariantProfile& profile,
                        FirmwareImage& image, StoredRecordObserver* observer) {
    ImageRead read;
    std::FILE* file = OpenImage(path);
    int error = file == nullptr ? errno : 0;
    if (file != nullptr) {
        // One pass over the file: the digest takes each piece as the loader reads it.
        Sha256 digest;
        read.load = image.loadSRecordStream(
            file, ImageName(path), profile, observer,
            [&digest](const char* bytes, std::size_t size) { digest.Update(bytes, size); });
        if (read.load.kind == LoadResult::FileError) {
            image.Reset(); // nothing of a file that could not be read is kept
        } else {
            error = DigestTheRest(file, digest);
            read.sha256 = digest.HexDigest();
        }
        if (file != stdin) {
            std::fclose(file);
        }
    }
    if (error != 0) {
        image.Reset();
        read = ImageRead();
        read.load.kind = LoadResult::FileError;
        read.load.file = ImageName(path);
        read.load.error = SystemErrorText(error);
        return read;
    }
    image.DumpAfterLoad(read.load, writeDumps);
    return read;
}

std::string DescribeRejection(const LoadResult& load, const VariantProfile& profile) {
    std::string text = DescribeRejectReason(load.reason);
    if (IsAddressReason(load.reason)) {
        char where[96];
        std::snprintf(where, sizeof where, " (the record's address is 0x%06X",
                      static_cast<unsigned>(load.address));
        text += where;
        if (load.reason != RejectReason::CpuRangeExceeded) {
            std::snprintf(where, sizeof where, ", the flash base 0x%06X",
                          static_cast<unsigned>(profile.flashBase));
            text += where;
        }
        text += ")";
    }
    return text;
}

std::string LoadFailureText(const std::string& path, const LoadResult& load,
                            const VariantProfile& profile) {
    if (load.kind == LoadResult::FileError) {
        if (path == STANDARD_INPUT_ARGUMENT && !load.dumpFile) {
            return "Could not read the S-Record file from standard input: " + load.error;
        }
        return FileErrorMessage(load); // it names the file and its folder
    }
    // The window's text, then which file, where in it and why.
    return std::string(LOAD_REJECTED_TEXT) + " " + ImageName(path) + ", line " +
           std::to_string(load.line) + ": " + DescribeRejection(load, profile);
}

} // namespace knot::station
